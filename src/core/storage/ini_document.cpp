#include "core/storage/ini_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

namespace tovira {

namespace {

// ---------------------------------------------------------------------------
// GBK and GB18030 bytes.
//
// The structural characters of an INI line (line ends, blanks, '=', '"') are
// below 0x40 and so never occur inside a double-byte character, whose second
// byte is 0x40..0xFE, nor inside a four-byte GB18030 one (second and fourth
// byte 0x30..0x39). Lines can therefore be split and trimmed on the bytes.
// '[' and ']' can be second bytes, and ASCII letters too, so bracket search
// and case folding walk character by character.

bool IsLeadByte(uchar b) { return b >= 0x81 && b <= 0xFE; }

// The length of the character starting at p[i], in bytes.
qsizetype CharLength(const char* p, qsizetype i, qsizetype n) {
    const auto b = uchar(p[i]);
    if (!IsLeadByte(b) || i + 1 >= n) return 1;
    const auto second = uchar(p[i + 1]);
    if (second >= 0x30 && second <= 0x39) return i + 3 < n ? 4 : 1;
    if (second >= 0x40 && second != 0x7F && second != 0xFF) return 2;
    return 1;
}

uchar FoldAscii(uchar b) { return b >= 'A' && b <= 'Z' ? uchar(b + ('a' - 'A')) : b; }

// Names compare like the Windows profile functions: ASCII letters ignore case,
// everything else (Chinese names included) must match exactly.
bool SameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    qsizetype i = 0;
    while (i < a.size()) {
        const qsizetype length = CharLength(p, i, a.size());
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
        const qsizetype length = CharLength(p, i, name.size());
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
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

QByteArrayView TrimBlanks(QByteArrayView s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.sliced(begin, end - begin);
}

// What a reader sees of a stored value: blanks trimmed, one pair of enclosing
// double quotes removed. Applied on lookup, so a value set in memory reads the
// same as after a save and reload.
QByteArrayView ReadableValue(QByteArrayView stored) {
    QByteArrayView v = TrimBlanks(stored);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.sliced(1, v.size() - 2);
    return v;
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
            code = quint16((uchar(bytes[0]) << 8) | uchar(bytes[1]));
        }
    }
    return code;
}

// The character of a two-byte code, or 0xFFFF when it takes more than one
// UTF-16 unit (then the general converter decodes).
char16_t CharOfGbkCode(uchar lead, uchar trail) {
    constexpr char16_t kUnknownChar = 0;
    constexpr char16_t kComplex = 0xFFFF;
    thread_local std::vector<char16_t> cache(0x10000, kUnknownChar);
    char16_t& c = cache[(lead << 8) | trail];
    if (c != kUnknownChar) return c;
    const char bytes[2] = {char(lead), char(trail)};
    QStringDecoder decoder("GB18030");
    const QString text = decoder.decode(QByteArrayView(bytes, 2));
    c = text.size() == 1 ? text[0].unicode() : kComplex;
    return c;
}

// Writes the GBK form of text to out, which must hold 2 * text.size() bytes.
// Returns the byte count, or -1 when a character has no GBK form. Files are
// nearly all ASCII; a cached code per character is several times faster than
// the general converter and checks each character's round trip on the way.
qsizetype EncodeGbkTo(QStringView text, char* out) {
    char* p = out;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        if (ch.isSurrogate()) return -1;  // GBK has no four-byte forms
        const quint16 code = GbkCodeOf(c);
        if (code == kNoGbkForm) return -1;
        *p++ = char(code >> 8);
        *p++ = char(code & 0xFF);
    }
    return p - out;
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
    const qsizetype size = EncodeGbkTo(text, stored.bytes.data());
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

QString DecodeBytes(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const auto b = uchar(p[i]);
        if (b < 0x80) {
            *out++ = QChar(char16_t(b));
            ++i;
            continue;
        }
        // Four-byte sequences and broken bytes are rare: leave all to the
        // general converter.
        if (CharLength(p, i, n) != 2) return QStringDecoder("GB18030").decode(bytes);
        const char16_t c = CharOfGbkCode(b, uchar(p[i + 1]));
        if (c == 0xFFFF) return QStringDecoder("GB18030").decode(bytes);
        *out++ = QChar(c);
        i += 2;
    }
    text.truncate(out - text.constData());
    return text;
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

// A stored value as the reader sees it (see ReadableValue), decoded, with
// each CR read as a blank.
QString DecodeValue(QByteArrayView stored) {
    const QByteArrayView readable = ReadableValue(stored);
    QString text = DecodeBytes(readable);
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

qsizetype WriteGbk(QStringView text, char* out) { return EncodeGbkTo(text, out); }

std::optional<QByteArray> EncodeGbk(const QString& text) {
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    const qsizetype size = EncodeGbkTo(text, out.data());
    if (size < 0) return std::nullopt;
    out.truncate(size);
    return out;
}

QString DecodeGbk(const QByteArray& bytes) { return DecodeBytes(bytes); }

std::optional<QString> FirstNonGbkCharacter(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            return text.mid(i, 2);
        }
        if (ch.unicode() >= 0x80 && (ch.isSurrogate() || GbkCodeOf(ch.unicode()) == kNoGbkForm)) {
            return QString(ch);
        }
    }
    return std::nullopt;
}

// Opens a regular file (links followed) of at most maxSize bytes for
// reading; -1 otherwise. *size is its size when opened.
int OpenRegularFile(const QString& path, qsizetype maxSize, qsizetype* size) {
    const QByteArray name = QFile::encodeName(path);
    // A pipe or a device is never opened for reading: a pipe would wait for a
    // writer and a device could be read forever. The non-blocking open and the
    // second check on the open file cover a file swapped in between.
    struct stat info {};
    if (name.isEmpty() || ::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxSize) {
        ::close(fd);
        return -1;
    }
    *size = qsizetype(info.st_size);
    return fd;
}

// Reads up to size bytes into data; the count read (less when the file shrank
// meanwhile), -1 on an error.
qsizetype ReadUpTo(int fd, char* data, qsizetype size) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, std::size_t(size - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += n;
    }
    return got;
}

std::optional<QByteArray> ReadRegularFile(const QString& path, qsizetype maxSize) {
    qsizetype size = 0;
    const int fd = OpenRegularFile(path, maxSize, &size);
    if (fd < 0) return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    const qsizetype got = ReadUpTo(fd, bytes.data(), size);
    ::close(fd);
    if (got < 0) return std::nullopt;
    bytes.truncate(got);
    return bytes;
}

bool ReadRegularFileInPieces(const QString& path, qsizetype maxSize, qsizetype pieceSize,
                             const std::function<void(QByteArrayView)>& piece) {
    qsizetype left = 0;
    const int fd = OpenRegularFile(path, maxSize, &left);
    if (fd < 0) return false;
    // Never more than the size seen at the open, like the whole read.
    QByteArray buffer(std::min(pieceSize, left), Qt::Uninitialized);
    while (left > 0) {
        const qsizetype got = ReadUpTo(fd, buffer.data(), std::min(left, buffer.size()));
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile
        piece(QByteArrayView(buffer.constData(), got));
        left -= got;
    }
    ::close(fd);
    return true;
}

FileSystemCalls& FileSystem() {
    static FileSystemCalls calls{
        [](const char* path, int flags, unsigned mode) {
            return ::open(path, flags, mode_t(mode));
        },
        [](int fd, const char* data, unsigned long size) { return long(::write(fd, data, size)); },
        [](int fd) { return ::fsync(fd); },
        [](int fd) { return ::close(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
    return calls;
}

namespace {

constexpr int kTempSuffixLength = 6;

bool IsTempSuffixChar(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

QString TempSuffix() {
    static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, int(sizeof kChars) - 2);
    QString suffix(kTempSuffixLength, Qt::Uninitialized);
    for (QChar& c : suffix) c = QLatin1Char(kChars[pick(generator)]);
    return suffix;
}

bool WriteAll(FileSystemCalls& fs, int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const long n =
            fs.write(fd, bytes.constData() + done, static_cast<unsigned long>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Makes the rename itself durable. A file system that cannot sync a folder
// (EINVAL) has nothing more to do.
bool SyncFolder(FileSystemCalls& fs, const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = fs.sync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    return WriteFileAtomicallyWithResult(path, bytes) == WriteResult::Written;
}

bool WriteFileAtomically(const QString& path,
                         const std::function<bool(const ByteSink& write)>& produce,
                         const std::function<bool()>& beforeRename) {
    return WriteFileAtomicallyWithResult(path, produce, beforeRename) == WriteResult::Written;
}

WriteResult WriteFileAtomicallyWithResult(const QString& path, const QByteArray& bytes) {
    return WriteFileAtomicallyWithResult(path, [&](const ByteSink& write) { return write(bytes); });
}

WriteResult WriteFileAtomicallyWithResult(const QString& path,
                                          const std::function<bool(const ByteSink& write)>& produce,
                                          const std::function<bool()>& beforeRename) {
    FileSystemCalls& fs = FileSystem();
    QString target = path;
    unsigned mode = 0666;  // less the umask, as for any new file
    bool keepMode = false;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            // Replace the file the link names and keep the link.
            target = QFileInfo(path).canonicalFilePath();
            if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &info) != 0) {
                return WriteResult::Failed;
            }
        }
        // Only a regular file is replaced, and a read-only one stays as it is.
        if (!S_ISREG(info.st_mode) || ::access(QFile::encodeName(target).constData(), W_OK) != 0) {
            return WriteResult::Failed;
        }
        mode = unsigned(info.st_mode & 07777);
        keepMode = true;
    } else if (errno != ENOENT) {
        return WriteResult::Failed;
    }

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = QFile::encodeName(target + QLatin1Char('.') + TempSuffix());
        fd = fs.open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return WriteResult::Failed;
    }
    if (fd < 0) return WriteResult::Failed;
    if (keepMode) ::fchmod(fd, mode_t(mode));

    const bool written =
        produce([&](QByteArrayView piece) { return WriteAll(fs, fd, piece); }) && fs.sync(fd) == 0;
    // The descriptor is gone after close, whatever close reports.
    const bool closed = fs.close(fd) == 0;
    if (!written || !closed || (beforeRename && !beforeRename()) ||
        fs.rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        ::unlink(temp.constData());
        return WriteResult::Failed;
    }
    if (!SyncFolder(fs, QFileInfo(target).absolutePath())) return WriteResult::Unconfirmed;
    // Writes of this file that were cut short (a kill, a crash) left their
    // temporary files behind; the file just written supersedes them.
    RemoveStaleTemporaries(target);
    return WriteResult::Written;
}

int RemoveStaleTemporaries(const QString& path) {
    const QFileInfo file(path);
    const QString prefix = file.fileName() + QLatin1Char('.');
    const QDir folder = file.absoluteDir();
    int removed = 0;
    // Regular files only: no link, folder, pipe or device, whatever its name.
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name.size() != prefix.size() + kTempSuffixLength || !name.startsWith(prefix)) continue;
        const QStringView suffix = QStringView(name).sliced(prefix.size());
        if (!std::all_of(suffix.begin(), suffix.end(), IsTempSuffixChar)) continue;
        if (QFile::remove(folder.filePath(name))) ++removed;
    }
    return removed;
}

// ---------------------------------------------------------------------------

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

// Splits bytes (from `from` on) into lines and reads each as a section
// header, a key line or another line, the way the Windows profile functions
// do: blanks around names and values are trimmed; a header is '[' up to the
// last ']' that is a character of its own; key lines before the first
// section belong to none and count as other lines.
template <typename Visit>
void IniDocument::ForEachLine(QByteArrayView bytes, qsizetype from, Visit&& visit,
                              bool& inSection) {
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
        const QByteArrayView trimmed = TrimBlanks(text);
        if (trimmed.startsWith('[')) {
            qsizetype close = -1;  // the last ']' that is a character of its own
            for (qsizetype i = 1; i < trimmed.size();
                 i += CharLength(trimmed.data(), i, trimmed.size())) {
                if (trimmed[i] == ']') close = i;
            }
            if (close > 0) {
                line.kind = Line::Kind::Section;
                line.name = TrimBlanks(trimmed.sliced(1, close - 1));
                inSection = true;
                visit(line, text);
                continue;
            }
        }
        const qsizetype equals = trimmed.indexOf('=');
        if (equals > 0 && inSection) {
            line.kind = Line::Kind::Key;
            line.name = TrimBlanks(trimmed.first(equals));
            line.value = TrimBlanks(trimmed.sliced(equals + 1));
        }
        visit(line, text);
    }
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

bool IniDocument::Scan(const QString& path,
                       const std::function<void(const Line&, QByteArrayView)>& visit,
                       qsizetype pieceSize) {
    // Piece by piece: a large file is never held whole. Lines are handed on
    // once their line end has come; the last one at the end. The bytes
    // carried over hold no line end, so only the new piece is searched for
    // one: a line longer than many pieces is not searched again and again.
    QByteArray pending;
    bool first = true;
    bool inSection = false;
    const bool read = ReadRegularFileInPieces(
        path, kMaxFileSize, std::max<qsizetype>(pieceSize, 1), [&](QByteArrayView piece) {
            const qsizetype last = piece.lastIndexOf('\n');
            pending.append(piece);
            if (last < 0) return;
            const qsizetype end = pending.size() - piece.size() + last + 1;
            const qsizetype from = first && pending.startsWith("\xEF\xBB\xBF") ? 3 : 0;
            first = false;
            ForEachLine(QByteArrayView(pending).first(end), from, visit, inSection);
            pending.remove(0, end);
        });
    if (!read) return false;
    const qsizetype from = first && pending.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    ForEachLine(QByteArrayView(pending), from, visit, inSection);
    return true;
}

bool IniDocument::SameName(QByteArrayView a, QByteArrayView b) { return tovira::SameName(a, b); }

QString IniDocument::ValueText(QByteArrayView stored) { return DecodeValue(stored); }

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

QString IniDocument::ToText() const { return DecodeBytes(Render()); }

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

FileStamp StampOf(const QString& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.size = qint64(info.st_size);
    stamp.modifiedSeconds = qint64(info.st_mtim.tv_sec);
    stamp.modifiedNanoseconds = qint64(info.st_mtim.tv_nsec);
    return stamp;
}

}  // namespace tovira
