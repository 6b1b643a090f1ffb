#pragma once
// An INI file held in memory: parsed once into ordered sections and keys,
// read and updated, written back whole. Untouched sections, keys and other
// lines survive a save in their order. Files are GBK with CR LF line ends.
//
// Reading follows the Windows profile rules: section and key names match
// case-insensitively (ASCII), blanks around names and values are trimmed, a
// value wrapped in double quotes loses them, the first of duplicate keys (and
// sections) wins, and lines that are neither a section, a key line nor blank
// are ignored (but kept when the file is written back).

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace tovira {

class IniDocument {
  public:
    IniDocument() = default;

    // Reads and parses a file (decoded as GB18030, a superset of GBK). A file
    // that does not exist or cannot be read leaves an empty document and
    // returns false.
    bool Load(const QString& path);
    void Parse(const QByteArray& bytes);
    void ParseText(const QString& text);

    // The value, or nothing when the section or key is missing.
    std::optional<QString> Find(const QString& section, const QString& key) const;
    // The value, or the empty text when it is missing.
    QString Value(const QString& section, const QString& key) const;
    bool HasSection(const QString& section) const;

    // Replaces the key's value, or appends the key at the end of its section,
    // or appends a new section at the end of the document.
    void SetValue(const QString& section, const QString& key, const QString& value);

    // The whole document as text, lines ended by CR LF.
    QString ToText() const;
    // The document encoded as GBK, or nothing when a character cannot be
    // encoded in GBK.
    std::optional<QByteArray> ToBytes() const;
    // Writes the document through a temporary file in the same folder renamed
    // over the target. Returns false (and leaves an existing file untouched)
    // when the text cannot be encoded, the file or folder is not writable, or
    // the write fails.
    bool Save(const QString& path) const;

  private:
    struct Entry {
        QString key;    // empty for a line that is kept verbatim
        QString value;  // the value as read (trimmed) or set
        QString raw;    // the line as read when it is not exactly key=value; null otherwise
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
        QHash<QString, int> index;  // lower-cased key -> first entry
        QString raw;                // the header as read when it is not exactly [name]
        int lastKey = -1;           // entry index of the last key line
    };
    Section* FindSection(const QString& name);
    const Section* FindSection(const QString& name) const;

    std::vector<QString> preamble_;  // lines before the first section
    std::vector<Section> sections_;
    QHash<QString, int> sectionIndex_;  // lower-cased name -> first section
};

// GBK helpers shared by every file the program writes.
// Encodes text as GBK; nothing when a character has no GBK form.
std::optional<QByteArray> EncodeGbk(const QString& text);
// Decodes GBK (GB18030) bytes.
QString DecodeGbk(const QByteArray& bytes);
// Writes the bytes through a temporary file in the same folder renamed over
// the target. False, with an existing file left untouched, when the file is
// read-only, the folder is not writable or the write fails.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace tovira
