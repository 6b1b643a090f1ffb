#pragma once
// An INI file held in memory: parsed once into ordered sections and keys,
// read and updated, written back whole. Untouched sections, keys and other
// lines survive a save in their order. Files are GBK with CR LF line ends.
//
// Reading follows the Windows profile rules: section and key names match
// case-insensitively (ASCII), blanks around names and values are trimmed, a
// value wrapped in double quotes loses them, the first of duplicate keys (and
// sections) wins, and lines that are neither a section, a key line nor blank
// are ignored (but kept when the file is written back). Lines end at LF or
// CR LF; any other CR reads as a blank, the blank a save would write for it.
//
// Writing keeps that layout intact: a value's line breaks become blanks (a
// value is one line), and a value with blanks at either end or in enclosing
// quotes is written inside one more pair of quotes, so it reads back as it
// was set. A section or key name that could not be read back the same (a line
// break, blanks at either end, ']' in a section name, '=' in a key or a key
// beginning with '[') makes the document unwritable: ToBytes and Save refuse.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tovira {

class IniDocument {
  public:
    IniDocument() = default;

    // Reads and parses a file (decoded as GB18030, a superset of GBK). A file
    // that does not exist, cannot be read or is not a regular file (a pipe, a
    // device) leaves an empty document and returns false.
    bool Load(const QString& path);
    void Parse(const QByteArray& bytes);
    void ParseText(const QString& text);

    // The value, or nothing when the section or key is missing.
    std::optional<QString> Find(const QString& section, const QString& key) const;
    // The value, or the empty text when it is missing.
    QString Value(const QString& section, const QString& key) const;
    bool HasSection(const QString& section) const;

    // One line as the document reads it.
    struct Line {
        enum class Kind { Other, Section, Key };
        Kind kind = Kind::Other;
        QByteArrayView name;   // the section name or the key, trimmed
        QByteArrayView value;  // a key's value as stored (see ValueText)
    };
    // Reads the file at path as Load does and hands every line (and its text
    // without the line end) to visit, in order, keeping nothing: for reading
    // a large file once. Duplicates are the caller's to settle (the first
    // section and key of a name win). False, nothing visited, when Load would
    // fail. The file is read pieceSize bytes at a time; the time taken grows
    // with the file's size alone, however long its lines.
    static constexpr qsizetype kScanPieceSize = qsizetype(256) * 1024;
    static bool Scan(const QString& path,
                     const std::function<void(const Line&, QByteArrayView text)>& visit,
                     qsizetype pieceSize = kScanPieceSize);
    // Whether two names are the same name as sections and keys are matched.
    static bool SameName(QByteArrayView a, QByteArrayView b);
    // A stored value as Value() returns it: trimmed, without one pair of
    // enclosing quotes, decoded, a CR read as a blank.
    static QString ValueText(QByteArrayView stored);

    // Replaces the key's value, or appends the key at the end of its section,
    // or appends a new section at the end of the document. Line breaks in the
    // value become blanks.
    void SetValue(const QString& section, const QString& key, const QString& value);

    // The whole document as text, lines ended by CR LF.
    QString ToText() const;
    // The document encoded as GBK, or nothing when a character cannot be
    // encoded in GBK or a name was set that the file cannot hold.
    std::optional<QByteArray> ToBytes() const;
    // Writes the document through a temporary file in the same folder renamed
    // over the target. Returns false (and leaves an existing file untouched)
    // when the text cannot be encoded, the file or folder is not writable, or
    // the write fails.
    bool Save(const QString& path) const;
    // The same, asking beforeRename right before the file is replaced (see
    // WriteFileAtomically).
    bool Save(const QString& path, const std::function<bool()>& beforeRename) const;

  private:
    // The document keeps the file's bytes as read and points into them: a plan
    // file of 32767 rows is several megabytes, and decoding it whole into
    // strings would cost more than the parse itself. Texts set later are
    // stored, encoded, in added_. A Span refers to file_ when `at` >= 0 and to
    // added_ at ~at otherwise.
    // 32-bit offsets keep an entry small; files over 1 GiB are not read.
    struct Span {
        qint32 at = 0;
        qint32 size = 0;
    };
    struct Entry {
        Span line;            // the line as read, without its line end
        Span key;             // empty for a line that is kept verbatim
        Span value;           // trimmed as read, or as set
        bool edited = false;  // written as key=value instead of the line as read
        bool notGbk = false;  // key or value set with characters GBK lacks
    };
    // Open addressing from a name hash to the first section or key of that
    // name; collisions are resolved by comparing the names.
    class NameIndex {
      public:
        template <typename Same>
        int Find(quint64 hash, Same same) const;
        template <typename Same>
        void InsertFirst(quint64 hash, int value, Same same);
        bool IsEmpty() const { return count_ == 0; }

      private:
        struct Slot {
            quint64 hash = 0;
            int value = -1;
        };
        void Grow();
        std::vector<Slot> slots_;
        int count_ = 0;
    };
    struct Section {
        Span header;  // the header line as read; empty for a section added later
        Span name;
        quint64 nameHash = 0;
        int first = 0;  // the entries as read are entries_[first, first + count)
        int count = 0;
        int insertAt = 0;  // keys added later are written before entries_[first + insertAt]
        int keyCount = 0;
        std::vector<Entry> added;  // keys added later, in order
        NameIndex keys;            // only for sections with many keys
        bool notGbk = false;
    };

    const char* Data(Span span) const;
    QByteArrayView View(Span span) const { return QByteArrayView(Data(span), span.size); }
    Span Store(QByteArrayView bytes);
    void ParseBytes(QByteArray bytes);
    template <typename Visit>
    static void ForEachLine(QByteArrayView bytes, qsizetype from, Visit&& visit, bool& inSection);
    void FinishSection(Section& section);
    void IndexKeys(Section& section);
    int FindSection(QByteArrayView name, quint64 hash) const;
    int FindKey(const Section& section, QByteArrayView key, quint64 hash) const;
    const Entry& EntryAt(const Section& section, int i) const;
    Entry& EntryAt(Section& section, int i);
    QByteArray Render() const;

    QByteArray file_;                // the bytes as read
    QByteArray added_;               // texts set after reading, GB18030 encoded
    std::vector<Entry> entries_;     // every line as read, in order
    std::vector<Section> sections_;  // [0] holds the lines before the first section
    NameIndex sectionIndex_;
    bool textNotGbk_ = false;  // ParseText got characters GBK lacks
    bool badName_ = false;     // a section or key name was set that cannot be written
};

// GBK helpers shared by every file the program writes.
// Encodes text as GBK; nothing when a character has no GBK form.
std::optional<QByteArray> EncodeGbk(const QString& text);
// Writes the GBK form of text to out, which must hold 2 * text.size() bytes;
// the byte count, or -1 when a character has no GBK form.
qsizetype WriteGbk(QStringView text, char* out);
// Decodes GBK (GB18030) bytes.
QString DecodeGbk(const QByteArray& bytes);
// The first character of text that GBK cannot hold (a surrogate pair counts
// as one character), or nothing.
std::optional<QString> FirstNonGbkCharacter(const QString& text);

// The bytes of a regular file (links followed) of at most maxSize bytes;
// nothing for a missing or unreadable file, a folder, a pipe or a device.
std::optional<QByteArray> ReadRegularFile(const QString& path, qsizetype maxSize);
// The same file handed to piece in pieces of at most pieceSize bytes, in
// order, so that it never has to be held whole; false on the same refusals
// and on a read error (pieces may have come by then).
bool ReadRegularFileInPieces(const QString& path, qsizetype maxSize, qsizetype pieceSize,
                             const std::function<void(QByteArrayView)>& piece);

// Writes the bytes to "<path>.XXXXXX" in the same folder (created exclusively),
// syncs and closes it, renames it over the target and syncs the folder. False,
// with an existing file left untouched and the temporary file removed, when
// the target is read-only or not a regular file, the folder is not writable,
// or any step up to the rename fails, the file's sync included; also false
// when only the folder's sync fails, with the new content already in place
// (WriteFileAtomicallyWithResult tells the two apart). A link is written
// through to its target. Once the write has succeeded, temporary files that
// interrupted writes of the same target left behind are removed (see
// RemoveStaleTemporaries).
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);
// The same with the bytes made piece by piece, so that a large file never
// has to be held whole: produce calls write for each piece in order and
// returns true when all went well. When it returns false (or a write fails)
// the target is left untouched and the temporary file removed.
using ByteSink = std::function<bool(QByteArrayView piece)>;
// beforeRename, when given, is asked right before the temporary file takes
// the target's place; false leaves the target untouched (a writer that must
// not replace what another program wrote meanwhile).
bool WriteFileAtomically(const QString& path,
                         const std::function<bool(const ByteSink& write)>& produce,
                         const std::function<bool()>& beforeRename = {});

// How an atomic write ended. Unconfirmed: the new content took the target's
// place, but the folder could not be synced, so the disk has not confirmed
// the rename and a crash may still bring the old file back.
enum class WriteResult { Written, Unconfirmed, Failed };
// WriteFileAtomically telling an unconfirmed write from a failed one.
WriteResult WriteFileAtomicallyWithResult(const QString& path, const QByteArray& bytes);
WriteResult WriteFileAtomicallyWithResult(const QString& path,
                                          const std::function<bool(const ByteSink& write)>& produce,
                                          const std::function<bool()>& beforeRename = {});

// What a file was when a writer read it: enough to tell that another program
// replaced or changed it since (a save renames a new file into place, a
// rewrite changes its size or modification time).
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The stamp of the file at path (links followed); exists is false when there
// is none.
FileStamp StampOf(const QString& path);

// Removes left-over temporary files of WriteFileAtomically for path (regular
// files named "<file name>.XXXXXX", six letters or digits) from its folder.
// Returns how many were removed. Every write of WriteFileAtomically that
// succeeds does this for its target.
int RemoveStaleTemporaries(const QString& path);

// The system calls the atomic write goes through. Tests replace them to make a
// step fail; everything else uses the defaults.
struct FileSystemCalls {
    std::function<int(const char* path, int flags, unsigned mode)> open;
    std::function<long(int fd, const char* data, unsigned long size)> write;
    std::function<int(int fd)> sync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
};
FileSystemCalls& FileSystem();

}  // namespace tovira
