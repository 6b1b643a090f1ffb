#include "core/storage/ini_document.h"

#include <QStringEncoder>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>
#include <utility>

#include "core/common/gbk_codec.h"
#include "core/storage/file_io.h"

namespace tovira {

namespace {

// Lines are split and trimmed on the bytes; names are compared and hashed
// character by character (see core/common/gbk_codec.h).

uchar FoldAscii(uchar b) { return b >= 'A' && b <= 'Z' ? uchar(b + ('a' - 'A')) : b; }

// Names compare like the Windows profile functions: ASCII letters ignore case,
// everything else (Chinese names included) must match exactly.
bool SameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    qsizetype i = 0;
    while (i < a.size()) {
        const qsizetype length = GbkCharLength(p, i, a.size());
        if (length == 1) {
            if (FoldAscii(uchar(p[i])) != FoldAscii(uchar(q[i]))) return false;
        } else if (std::memcmp(p + i, q + i, std::size_t(length)) != 0) {
            return false;
        }
        i += length;
    }
    return true;
}

quint64 NameHash(QByteArrayView name) {
    quint64 hash = 14695981039346656037ULL;  // FNV-1a
    const char* p = name.data();
    qsizetype i = 0;
    while (i < name.size()) {
        const qsizetype length = GbkCharLength(p, i, name.size());
        for (qsizetype k = 0; k < length; ++k) {
            const uchar b = length == 1 ? FoldAscii(uchar(p[i])) : uchar(p[i + k]);
            hash = (hash ^ b) * 1099511628211ULL;
        }
        i += length;
    }
    return hash;
}

// A CR that does not end a line reads as a blank: a save writes a blank for
// it (see OneLine), so the value read is the value the next save keeps.
bool IsBlank(char c) { return IniDocument::IsBlankByte(c); }

QByteArrayView TrimBlanks(QByteArrayView s) { return IniDocument::TrimBlankBytes(s); }

// What a reader sees of a stored value: blanks trimmed, one pair of enclosing
// double quotes removed. Applied on lookup, so a value set in memory reads the
// same as after a save and reload.
QByteArrayView ReadableValue(QByteArrayView stored) {
    QByteArrayView v = TrimBlanks(stored);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.sliced(1, v.size() - 2);
    return v;
}

// The bytes a text is stored as: GBK when it can be, else GB18030 (which
// reads back unchanged but must not be written to a GBK file).
struct StoredText {
    QVarLengthArray<char, 256> bytes;
    bool gbk = true;
    QByteArrayView View() const { return QByteArrayView(bytes.constData(), bytes.size()); }
};

StoredText StoreText(QStringView text) {
    StoredText stored;
    stored.bytes.resize(text.size() * 2);
    const qsizetype size = WriteGbk(text, stored.bytes.data());
    if (size >= 0) {
        stored.bytes.resize(size);
        return stored;
    }
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    stored.bytes.resize(bytes.size());
    std::memcpy(stored.bytes.data(), bytes.constData(), std::size_t(bytes.size()));
    stored.gbk = false;
    return stored;
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

// A stored value as the reader sees it (see ReadableValue), decoded, with
// each CR read as a blank.
QString DecodeValue(QByteArrayView stored) {
    const QByteArrayView readable = ReadableValue(stored);
    QString text = DecodeGbk(readable);
    if (readable.contains('\r')) text.replace(u'\r', u' ');
    return text;
}

// Whether a stored value reads as plain, the bytes of a value set (which hold
// no CR).
bool ReadsAs(QByteArrayView stored, QByteArrayView plain) {
    const QByteArrayView readable = ReadableValue(stored);
    if (readable.size() != plain.size()) return false;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (readable[i] != plain[i] && !(readable[i] == '\r' && plain[i] == ' ')) return false;
    }
    return true;
}

// A name reads back the same when it has no line break and no blanks at
// either end (the reader trims them).
bool IsWritableName(const QString& name) {
    if (name.contains(u'\r') || name.contains(u'\n')) return false;
    return name.isEmpty() || (!IsBlank(name.front()) && !IsBlank(name.back()));
}

// A value is one line: its line breaks become blanks.
QString OneLine(const QString& value) {
    if (!value.contains(u'\r') && !value.contains(u'\n')) return value;
    QString line = value;
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line;
}

// The reader trims blanks and takes off one pair of enclosing quotes; a
// value that would lose something that way is written inside quotes.
QString Quoted(const QString& value) {
    if (value.isEmpty()) return value;
    const bool quoted = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
    if (!quoted && !IsBlank(value.front()) && !IsBlank(value.back())) return value;
    return QLatin1Char('"') + value + QLatin1Char('"');
}

constexpr int kIndexedKeys = 24;  // sections with more keys get a key index

// Far beyond any INI file the program writes; keeps offsets in 32 bits, with
// room for the texts set after reading.
constexpr qsizetype kMaxFileSize = qsizetype(1) << 30;

}  // namespace

template <typename Same>
int IniDocument::NameIndex::Find(quint64 hash, Same same) const {
    if (slots_.empty()) return -1;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::size_t(hash) & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.value < 0) return -1;
        if (slot.hash == hash && same(slot.value)) return slot.value;
    }
}

template <typename Same>
void IniDocument::NameIndex::InsertFirst(quint64 hash, int value, Same same) {
    if (std::size_t(count_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::size_t(hash) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.value < 0) {
            slot = Slot{hash, value};
            ++count_;
            return;
        }
        if (slot.hash == hash && same(slot.value)) return;  // the first of that name stays
    }
}

void IniDocument::NameIndex::Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.resize(std::max<std::size_t>(16, old.size() * 2));
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.value < 0) continue;
        std::size_t i = std::size_t(slot.hash) & mask;
        while (slots_[i].value >= 0) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

const char* IniDocument::Data(Span span) const {
    return span.at >= 0 ? file_.constData() + span.at : added_.constData() + ~span.at;
}

IniDocument::Span IniDocument::Store(QByteArrayView bytes) {
    const Span span{~qint32(added_.size()), qint32(bytes.size())};
    added_.append(bytes);
    return span;
}

const IniDocument::Entry& IniDocument::EntryAt(const Section& section, int i) const {
    return i < section.count ? entries_[std::size_t(section.first + i)]
                             : section.added[std::size_t(i - section.count)];
}

IniDocument::Entry& IniDocument::EntryAt(Section& section, int i) {
    return i < section.count ? entries_[std::size_t(section.first + i)]
                             : section.added[std::size_t(i - section.count)];
}

bool IniDocument::Load(const QString& path) {
    std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxFileSize);
    if (!bytes) {
        Parse(QByteArray());
        return false;
    }
    ParseBytes(std::move(*bytes));
    return true;
}

void IniDocument::Parse(const QByteArray& bytes) { ParseBytes(bytes); }

void IniDocument::ParseText(const QString& text) {
    QStringView view(text);
    if (view.startsWith(QChar(0xFEFF))) view = view.sliced(1);
    const StoredText stored = StoreText(view);
    ParseBytes(stored.View().toByteArray());
    textNotGbk_ = !stored.gbk;
}

void IniDocument::ParseBytes(QByteArray bytes) {
    if (bytes.size() > kMaxFileSize) bytes.clear();
    const qsizetype from = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;  // a UTF-8 byte order mark
    file_ = std::move(bytes);
    added_.clear();
    entries_.clear();
    sections_.clear();
    sectionIndex_ = NameIndex();
    textNotGbk_ = false;
    badName_ = false;

    const char* p = file_.constData();
    const qsizetype n = file_.size();
    {
        // Reserve once: growing these vectors line by line costs more than the
        // parse. Lines that start with '[' bound the section count.
        std::size_t lines = 1;
        std::size_t headers = 1;
        for (const char* q = p + from; q != nullptr && q < p + n;) {
            while (q < p + n && IsBlank(*q)) ++q;
            if (q < p + n && *q == '[') ++headers;
            q = static_cast<const char*>(std::memchr(q, '\n', std::size_t(p + n - q)));
            if (q != nullptr) {
                ++q;
                ++lines;
            }
        }
        entries_.reserve(lines);
        sections_.reserve(headers);
    }
    sections_.emplace_back();  // the lines before the first section

    bool inSection = false;
    ForEachLine(
        QByteArrayView(p, n), from,
        [&](const Line& read, QByteArrayView text) {
            const Span line{qint32(text.data() - p), qint32(text.size())};
            if (read.kind == Line::Kind::Section) {
                FinishSection(sections_.back());
                Section section;
                section.header = line;
                section.name = Span{qint32(read.name.data() - p), qint32(read.name.size())};
                section.nameHash = NameHash(read.name);
                section.first = int(entries_.size());
                const int at = int(sections_.size());
                sections_.push_back(std::move(section));
                sectionIndex_.InsertFirst(sections_.back().nameHash, at, [&](int other) {
                    return tovira::SameName(View(sections_[std::size_t(other)].name), read.name);
                });
                return;
            }
            Entry entry;
            entry.line = line;
            if (read.kind == Line::Kind::Key) {
                entry.key = Span{qint32(read.name.data() - p), qint32(read.name.size())};
                entry.value = Span{qint32(read.value.data() - p), qint32(read.value.size())};
            }
            Section& section = sections_.back();
            if (entry.key.size > 0) {
                section.insertAt = section.count + 1;
                ++section.keyCount;
            }
            ++section.count;
            entries_.push_back(entry);
        },
        inSection);
    FinishSection(sections_.back());
}

bool IniDocument::ReadLines(const QString& path, qsizetype pieceSize, const LinesVisit& lines) {
    // Piece by piece, each read behind the bytes of a line not ended yet: a
    // large file is never held whole, and no byte is copied twice. Lines are
    // handed on once their line end has come; the last one at the end. The
    // bytes carried over hold no line end, so only the new piece is searched
    // for one: a line longer than many pieces is not searched again and
    // again.
    RegularFileReader file;
    if (!file.Open(path, kMaxFileSize)) return false;
    pieceSize = std::max<qsizetype>(pieceSize, 1);
    QByteArray buffer(std::min(pieceSize, file.Left()), Qt::Uninitialized);
    qsizetype carried = 0;  // bytes of a line not ended yet, at the start of buffer
    bool first = true;
    const auto from = [&first](QByteArrayView bytes) {
        const qsizetype skip = first && bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        first = false;
        return skip;
    };
    for (;;) {
        // Room for at least half a piece behind what is carried; a line
        // longer than that doubles the room.
        if (buffer.size() - carried < std::min(pieceSize / 2 + 1, file.Left())) {
            buffer.resize(std::max(buffer.size() * 2, carried + pieceSize));
        }
        const qsizetype got = file.Read(buffer.data() + carried, buffer.size() - carried);
        if (got < 0) return false;
        if (got == 0) break;
        const char* piece = buffer.constData() + carried;
        carried += got;
        const char* last = static_cast<const char*>(::memrchr(piece, '\n', std::size_t(got)));
        if (last == nullptr) continue;
        const qsizetype end = last - buffer.constData() + 1;
        const QByteArrayView ended(buffer.constData(), end);
        lines(ended, from(ended));
        carried -= end;
        std::memmove(buffer.data(), buffer.constData() + end, std::size_t(carried));
    }
    const QByteArrayView rest(buffer.constData(), carried);
    lines(rest, from(rest));
    return true;
}

bool IniDocument::Scan(const QString& path, const LineVisit& visit, qsizetype pieceSize) {
    return ScanLines(path, visit, pieceSize);
}

bool IniDocument::ScanSections(const QString& path, const LineVisit& visit, qsizetype pieceSize) {
    bool inSection = false;
    return ReadLines(path, pieceSize, [&](QByteArrayView bytes, qsizetype from) {
        ForEachLine<true>(bytes, from, visit, inSection);
    });
}

bool IniDocument::SameName(QByteArrayView a, QByteArrayView b) { return tovira::SameName(a, b); }

QString IniDocument::ValueText(QByteArrayView stored) { return DecodeValue(stored); }

QByteArrayView IniDocument::ValueBytes(QByteArrayView stored) { return ReadableValue(stored); }

void IniDocument::FinishSection(Section& section) {
    // A new key goes after the section's last key line, so blank lines and
    // comments separating it from the next section stay where they are. A
    // section without keys takes them after its last line that is not blank.
    if (section.keyCount == 0) {
        section.insertAt = section.count;
        while (section.insertAt > 0 &&
               TrimBlanks(View(entries_[std::size_t(section.first + section.insertAt - 1)].line))
                   .isEmpty()) {
            --section.insertAt;
        }
    }
    if (section.keyCount > kIndexedKeys) IndexKeys(section);
}

void IniDocument::IndexKeys(Section& section) {
    section.keys = NameIndex();
    const int total = section.count + int(section.added.size());
    for (int i = 0; i < total; ++i) {
        const Entry& entry = EntryAt(section, i);
        if (entry.key.size == 0) continue;
        const QByteArrayView key = View(entry.key);
        section.keys.InsertFirst(NameHash(key), i, [&](int other) {
            return SameName(View(EntryAt(section, other).key), key);
        });
    }
}

int IniDocument::FindSection(QByteArrayView name, quint64 hash) const {
    return sectionIndex_.Find(
        hash, [&](int i) { return SameName(View(sections_[std::size_t(i)].name), name); });
}

int IniDocument::FindKey(const Section& section, QByteArrayView key, quint64 hash) const {
    if (!section.keys.IsEmpty()) {
        return section.keys.Find(
            hash, [&](int i) { return SameName(View(EntryAt(section, i).key), key); });
    }
    const int total = section.count + int(section.added.size());
    for (int i = 0; i < total; ++i) {
        const Entry& entry = EntryAt(section, i);
        if (entry.key.size == key.size() && entry.key.size > 0 && SameName(View(entry.key), key)) {
            return i;
        }
    }
    return -1;
}

std::optional<QString> IniDocument::Find(const QString& section, const QString& key) const {
    const StoredText name = StoreText(section);
    const int s = FindSection(name.View(), NameHash(name.View()));
    if (s < 0) return std::nullopt;
    const StoredText keyName = StoreText(key);
    const Section& found = sections_[std::size_t(s)];
    const int k = FindKey(found, keyName.View(), NameHash(keyName.View()));
    if (k < 0) return std::nullopt;
    return DecodeValue(View(EntryAt(found, k).value));
}

QString IniDocument::Value(const QString& section, const QString& key) const {
    return Find(section, key).value_or(QString());
}

bool IniDocument::HasSection(const QString& section) const {
    const StoredText name = StoreText(section);
    return FindSection(name.View(), NameHash(name.View())) >= 0;
}

void IniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    if (key.isEmpty()) return;  // would read back as a blank line, not a key
    // Names are the program's own; one that the file cannot hold is refused
    // at the save rather than changed into another name.
    if (!IsWritableName(section) || section.contains(u']') || !IsWritableName(key) ||
        key.contains(u'=') || key.startsWith(u'[')) {
        badName_ = true;
    }
    const StoredText name = StoreText(section);
    const quint64 nameHash = NameHash(name.View());
    int s = FindSection(name.View(), nameHash);
    if (s < 0) {
        if (sections_.empty()) sections_.emplace_back();  // the (empty) lines before any section
        Section added;
        added.name = Store(name.View());
        added.nameHash = nameHash;
        added.first = int(entries_.size());
        added.notGbk = !name.gbk;
        s = int(sections_.size());
        sections_.push_back(std::move(added));
        sectionIndex_.InsertFirst(nameHash, s, [](int) { return false; });
    }
    Section& target = sections_[std::size_t(s)];

    const StoredText keyName = StoreText(key);
    const quint64 keyHash = NameHash(keyName.View());
    const StoredText plain = StoreText(OneLine(value));
    const StoredText stored = StoreText(Quoted(OneLine(value)));
    const int k = FindKey(target, keyName.View(), keyHash);
    if (k >= 0) {
        Entry& entry = EntryAt(target, k);
        // An unchanged value keeps its line as it was.
        if (ReadsAs(View(entry.value), plain.View())) return;
        entry.value = Store(stored.View());
        entry.edited = true;
        entry.notGbk = entry.notGbk || !stored.gbk;
        return;
    }
    Entry entry;
    entry.key = Store(keyName.View());
    entry.value = Store(stored.View());
    entry.edited = true;
    entry.notGbk = !keyName.gbk || !stored.gbk;
    target.added.push_back(entry);
    ++target.keyCount;
    if (!target.keys.IsEmpty()) {
        target.keys.InsertFirst(keyHash, target.count + int(target.added.size()) - 1,
                                [](int) { return false; });
    } else if (target.keyCount > kIndexedKeys) {
        IndexKeys(target);
    }
}

QByteArray IniDocument::Render() const {
    // Sized first, then written in one pass: plan files have hundreds of
    // thousands of lines.
    const auto lineSize = [](const Entry& e) {
        return e.edited ? e.key.size + 1 + e.value.size : e.line.size;
    };
    qsizetype size = 0;
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        const Section& section = sections_[s];
        if (s > 0)
            size += (section.header.size > 0 ? section.header.size : section.name.size + 2) + 2;
        for (int i = 0; i < section.count; ++i) {
            size += lineSize(entries_[std::size_t(section.first + i)]) + 2;
        }
        for (const Entry& e : section.added) size += lineSize(e) + 2;
    }

    QByteArray out(size, Qt::Uninitialized);
    char* p = out.data();
    const auto put = [&p, this](Span span) {
        std::memcpy(p, Data(span), std::size_t(span.size));
        p += span.size;
    };
    const auto endLine = [&p] {
        *p++ = '\r';
        *p++ = '\n';
    };
    const auto putEntry = [&](const Entry& e) {
        if (e.edited) {
            put(e.key);
            *p++ = '=';
            put(e.value);
        } else {
            put(e.line);
        }
        endLine();
    };
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        const Section& section = sections_[s];
        if (s > 0) {
            if (section.header.size > 0) {
                put(section.header);
            } else {
                *p++ = '[';
                put(section.name);
                *p++ = ']';
            }
            endLine();
        }
        for (int i = 0; i < section.insertAt; ++i)
            putEntry(entries_[std::size_t(section.first + i)]);
        for (const Entry& e : section.added) putEntry(e);
        for (int i = section.insertAt; i < section.count; ++i) {
            putEntry(entries_[std::size_t(section.first + i)]);
        }
    }
    return out;
}

QString IniDocument::ToText() const { return DecodeGbk(Render()); }

std::optional<QByteArray> IniDocument::ToBytes() const {
    if (textNotGbk_ || badName_) return std::nullopt;
    for (const Section& section : sections_) {
        if (section.notGbk) return std::nullopt;
        for (const Entry& e : section.added) {
            if (e.notGbk) return std::nullopt;
        }
        for (int i = 0; i < section.count; ++i) {
            if (entries_[std::size_t(section.first + i)].notGbk) return std::nullopt;
        }
    }
    return Render();
}

bool IniDocument::Save(const QString& path) const { return Save(path, {}); }

bool IniDocument::Save(const QString& path, const std::function<bool()>& beforeRename) const {
    const std::optional<QByteArray> bytes = ToBytes();
    if (!bytes) return false;
    return WriteFileAtomically(
        path, [&](const ByteSink& write) { return write(*bytes); }, beforeRename);
}

}  // namespace tovira
