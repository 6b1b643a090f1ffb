#include "storage/ini_document.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <vector>

namespace tovira {

namespace {

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView TrimBlanks(QStringView s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.mid(begin, end - begin);
}

// Names compare like the Windows profile functions: ASCII letters ignore case,
// everything else (Chinese names included) must match exactly.
QString FoldName(QStringView name) {
    QString folded = name.toString();
    QChar* p = folded.data();
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const char16_t c = p[i].unicode();
        if (c >= u'A' && c <= u'Z') p[i] = QChar(char16_t(c + (u'a' - u'A')));
    }
    return folded;
}

// What a reader sees of a stored value: blanks trimmed, one pair of enclosing
// double quotes removed. Applied on lookup so that a value set in memory reads
// the same as after a save and reload.
QString ReadableValue(const QString& stored) {
    QStringView v = TrimBlanks(stored);
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"') v = v.mid(1, v.size() - 2);
    if (v.size() == stored.size()) return stored;
    return v.toString();
}

// The first of duplicate names wins, as with the Windows profile functions.
void InsertFirst(QHash<QString, int>& index, QString&& name, int at) {
    if (!index.contains(name)) index.insert(std::move(name), at);
}

// GBK codes are two bytes with a lead byte of 0x81..0xFE, so neither 0 nor
// 0xFFFF is ever a real code.
constexpr quint16 kUnknown = 0;
constexpr quint16 kNoGbkForm = 0xFFFF;

// The GBK code of one BMP character, or kNoGbkForm. A character only counts
// as encodable when it comes back unchanged through the GB18030 reader: the
// converter maps a few characters (the euro sign to the single byte 0x80, some
// private-use code points) to bytes that read back as something else, and
// writing those would lose them silently.
quint16 GbkCodeOf(char16_t c) {
    thread_local std::vector<quint16> cache(0x10000, kUnknown);
    quint16& code = cache[c];
    if (code != kUnknown) return code;
    const QChar ch(c);
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(QStringView(&ch, 1));
    code = kNoGbkForm;
    if (!encoder.hasError() && bytes.size() == 2) {
        QStringDecoder decoder("GB18030");
        const QString back = decoder.decode(bytes);
        if (!decoder.hasError() && back.size() == 1 && back[0] == ch) {
            code = quint16((quint8(bytes[0]) << 8) | quint8(bytes[1]));
        }
    }
    return code;
}

}  // namespace

std::optional<QByteArray> EncodeGbk(const QString& text) {
    // Plan files are nearly all ASCII; converting character by character with
    // a cache of GBK codes is several times faster than the general converter
    // and checks every character's round trip on the way.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char* p = out.data();
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        if (ch.isSurrogate()) return std::nullopt;  // GBK has no four-byte forms
        const quint16 code = GbkCodeOf(c);
        if (code == kNoGbkForm) return std::nullopt;
        *p++ = char(code >> 8);
        *p++ = char(code & 0xFF);
    }
    out.truncate(p - out.constData());
    return out;
}

QString DecodeGbk(const QByteArray& bytes) {
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    // QSaveFile renames its temporary file over the target, which would
    // replace a read-only file without complaint.
    const QFileInfo info(path);
    if (info.exists() && !info.isWritable()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// ---------------------------------------------------------------------------

bool IniDocument::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ParseText(QString());
        return false;
    }
    Parse(file.readAll());
    return true;
}

void IniDocument::Parse(const QByteArray& bytes) {
    static const QByteArray kUtf8Bom("\xEF\xBB\xBF");
    if (bytes.startsWith(kUtf8Bom)) {
        ParseText(DecodeGbk(bytes.mid(kUtf8Bom.size())));
    } else {
        ParseText(DecodeGbk(bytes));
    }
}

void IniDocument::ParseText(const QString& text) {
    preamble_.clear();
    sections_.clear();
    sectionIndex_.clear();

    QStringView all(text);
    if (all.startsWith(QChar(0xFEFF))) all = all.mid(1);

    Section* current = nullptr;
    qsizetype pos = 0;
    while (pos < all.size()) {
        qsizetype end = all.indexOf(u'\n', pos);
        if (end < 0) end = all.size();
        QStringView line = all.mid(pos, end - pos);
        pos = end + 1;
        if (line.endsWith(u'\r')) line.chop(1);

        const QStringView trimmed = TrimBlanks(line);
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.lastIndexOf(u']');
            if (close > 0) {
                Section section;
                section.name = TrimBlanks(trimmed.mid(1, close - 1)).toString();
                // Keep the header as written unless the name alone reproduces it.
                if (line.size() != section.name.size() + 2 || line.front() != u'[' ||
                    line.back() != u']') {
                    section.raw = line.toString();
                }
                InsertFirst(sectionIndex_, FoldName(section.name), int(sections_.size()));
                sections_.push_back(std::move(section));
                current = &sections_.back();
                continue;
            }
        }

        Entry entry;
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals > 0) {
            const QStringView key = TrimBlanks(trimmed.left(equals));
            if (!key.isEmpty()) {
                entry.key = key.toString();
                entry.value = TrimBlanks(trimmed.mid(equals + 1)).toString();
                // Most lines are "key=value" exactly and need no copy of their own.
                if (line.size() != entry.key.size() + 1 + entry.value.size() ||
                    !line.startsWith(entry.key) || line[entry.key.size()] != u'=') {
                    entry.raw = line.toString();
                }
            }
        }
        if (entry.key.isEmpty()) entry.raw = line.toString();

        if (current == nullptr) {
            // Keys before the first section belong to no section and are not
            // readable, only kept.
            preamble_.push_back(line.toString());
            continue;
        }
        const int at = int(current->entries.size());
        if (!entry.key.isEmpty()) {
            InsertFirst(current->index, FoldName(entry.key), at);
            current->lastKey = at;
        }
        current->entries.push_back(std::move(entry));
    }
}

IniDocument::Section* IniDocument::FindSection(const QString& name) {
    const auto it = sectionIndex_.constFind(FoldName(name));
    return it == sectionIndex_.constEnd() ? nullptr : &sections_[std::size_t(*it)];
}

const IniDocument::Section* IniDocument::FindSection(const QString& name) const {
    const auto it = sectionIndex_.constFind(FoldName(name));
    return it == sectionIndex_.constEnd() ? nullptr : &sections_[std::size_t(*it)];
}

std::optional<QString> IniDocument::Find(const QString& section, const QString& key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) return std::nullopt;
    const auto it = s->index.constFind(FoldName(key));
    if (it == s->index.constEnd()) return std::nullopt;
    return ReadableValue(s->entries[std::size_t(*it)].value);
}

QString IniDocument::Value(const QString& section, const QString& key) const {
    return Find(section, key).value_or(QString());
}

bool IniDocument::HasSection(const QString& section) const {
    return FindSection(section) != nullptr;
}

void IniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    if (key.isEmpty()) return;  // would read back as a blank line, not a key
    Section* s = FindSection(section);
    if (s == nullptr) {
        sectionIndex_.insert(FoldName(section), int(sections_.size()));
        sections_.push_back(Section{section, {}, {}, {}, -1});
        s = &sections_.back();
    }
    const QString foldedKey = FoldName(key);
    const auto it = s->index.constFind(foldedKey);
    if (it != s->index.constEnd()) {
        Entry& entry = s->entries[std::size_t(*it)];
        entry.value = value;
        entry.raw = QString();
        return;
    }
    // A new key goes after the section's last key line, so blank lines and
    // comments that separate it from the next section stay where they are.
    int at = s->lastKey + 1;
    if (s->lastKey < 0) {
        at = int(s->entries.size());
        while (at > 0 && TrimBlanks(s->entries[std::size_t(at - 1)].raw).isEmpty()) --at;
    }
    s->entries.insert(s->entries.begin() + at, Entry{key, value, QString()});
    s->index.insert(foldedKey, at);
    s->lastKey = at;
}

QString IniDocument::ToText() const {
    static const QLatin1StringView kEol("\r\n");
    qsizetype size = 0;
    for (const QString& line : preamble_) size += line.size() + 2;
    for (const Section& s : sections_) {
        size += (s.raw.isNull() ? s.name.size() + 2 : s.raw.size()) + 2;
        for (const Entry& e : s.entries) {
            size += (!e.key.isEmpty() && e.raw.isNull() ? e.key.size() + 1 + e.value.size()
                                                        : e.raw.size()) +
                    2;
        }
    }

    QString out;
    out.reserve(size);
    for (const QString& line : preamble_) {
        out += line;
        out += kEol;
    }
    for (const Section& s : sections_) {
        if (s.raw.isNull()) {
            out += u'[';
            out += s.name;
            out += u']';
        } else {
            out += s.raw;
        }
        out += kEol;
        for (const Entry& e : s.entries) {
            if (!e.key.isEmpty() && e.raw.isNull()) {
                out += e.key;
                out += u'=';
                out += e.value;
            } else {
                out += e.raw;
            }
            out += kEol;
        }
    }
    return out;
}

std::optional<QByteArray> IniDocument::ToBytes() const { return EncodeGbk(ToText()); }

bool IniDocument::Save(const QString& path) const {
    const std::optional<QByteArray> bytes = ToBytes();
    if (!bytes) return false;
    return WriteFileAtomically(path, *bytes);
}

}  // namespace tovira
