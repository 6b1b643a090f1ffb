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
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "core/common/gbk_codec.h"

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
    using LineVisit = std::function<void(const Line&, QByteArrayView text)>;
    static bool Scan(const QString& path, const LineVisit& visit,
                     qsizetype pieceSize = kScanPieceSize);
    // Scan with any callable as visit, called without going through a
    // std::function: for a reader whose work per line is small.
    template <typename Visit>
    static bool ScanLines(const QString& path, Visit&& visit,
                          qsizetype pieceSize = kScanPieceSize) {
        bool inSection = false;
        return ReadLines(path, pieceSize, [&](QByteArrayView bytes, qsizetype from) {
            ForEachLine(bytes, from, visit, inSection);
        });
    }
    // The same, visiting the section headers only: for a look at what a
    // file holds, which skips every other line at the cost of finding its
    // end.
    static bool ScanSections(const QString& path, const LineVisit& visit,
                             qsizetype pieceSize = kScanPieceSize);
    // Whether two names are the same name as sections and keys are matched.
    static bool SameName(QByteArrayView a, QByteArrayView b);
    // A stored value as Value() returns it: trimmed, without one pair of
    // enclosing quotes, decoded, a CR read as a blank.
    static QString ValueText(QByteArrayView stored);
    // The bytes ValueText decodes: the stored value trimmed and without one
    // pair of enclosing quotes (a CR among them still to be read as a blank).
    static QByteArrayView ValueBytes(QByteArrayView stored);

    // The blanks trimmed around names and values. A CR that does not end a
    // line reads as a blank: a save writes a blank for it (see SetValue), so
    // the value read is the value the next save keeps.
    static bool IsBlankByte(char c) { return c == ' ' || c == '\t' || c == '\r'; }
    static QByteArrayView TrimBlankBytes(QByteArrayView s) {
        qsizetype begin = 0;
        qsizetype end = s.size();
        while (begin < end && IsBlankByte(s[begin])) ++begin;
        while (end > begin && IsBlankByte(s[end - 1])) --end;
        return s.sliced(begin, end - begin);
    }

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
    // Splits bytes (from `from` on) into lines and reads each as a section
    // header, a key line or another line, the way the Windows profile functions
    // do: blanks around names and values are trimmed; a header is '[' up to the
    // last ']' that is a character of its own; key lines before the first
    // section belong to none and count as other lines.
    template <bool kSectionsOnly = false, typename Visit>
    static void ForEachLine(QByteArrayView bytes, qsizetype from, Visit&& visit, bool& inSection) {
        const char* p = bytes.data();
        const qsizetype n = bytes.size();
        qsizetype pos = from;
        while (pos < n) {
            const char* newline =
                static_cast<const char*>(std::memchr(p + pos, '\n', std::size_t(n - pos)));
            const qsizetype next = newline != nullptr ? newline - p + 1 : n;
            qsizetype end = newline != nullptr ? newline - p : n;
            if (end > pos && p[end - 1] == '\r') --end;
            const QByteArrayView text(p + pos, end - pos);
            pos = next;

            Line line;
            const QByteArrayView trimmed = TrimBlankBytes(text);
            if constexpr (kSectionsOnly) {
                if (!trimmed.startsWith('[')) continue;
            }
            if (trimmed.startsWith('[')) {
                qsizetype close = -1;  // the last ']' that is a character of its own
                for (qsizetype i = 1; i < trimmed.size();
                     i += GbkCharLength(trimmed.data(), i, trimmed.size())) {
                    if (trimmed[i] == ']') close = i;
                }
                if (close > 0) {
                    line.kind = Line::Kind::Section;
                    line.name = TrimBlankBytes(trimmed.sliced(1, close - 1));
                    inSection = true;
                    visit(line, text);
                    continue;
                }
            }
            if constexpr (kSectionsOnly) continue;
            const qsizetype equals = trimmed.indexOf('=');
            if (equals > 0 && inSection) {
                line.kind = Line::Kind::Key;
                line.name = TrimBlankBytes(trimmed.first(equals));
                line.value = TrimBlankBytes(trimmed.sliced(equals + 1));
            }
            visit(line, text);
        }
    }
    // Reads the file at path as Scan does and hands lines the bytes of whole
    // lines, with where the first of them starts (past a byte order mark).
    using LinesVisit = std::function<void(QByteArrayView bytes, qsizetype from)>;
    static bool ReadLines(const QString& path, qsizetype pieceSize, const LinesVisit& lines);
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

}  // namespace tovira
