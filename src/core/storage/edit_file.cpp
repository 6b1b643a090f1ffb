#include "core/storage/edit_file.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "core/storage/ini_document.h"

namespace tovira {

namespace {

// Values are read through a buffer of 10000 bytes in the file's code page, so
// anything past 9999 bytes is lost. Cut on a character boundary rather than
// leave half a double-byte character behind.
constexpr qsizetype kMaxValueBytes = 9999;

qsizetype GbkLengthOf(char32_t c) {
    if (c < 0x80) return 1;
    if (c > 0xFFFF) return 4;  // a GB18030 four-byte sequence in the file
    const QChar ch{char16_t(c)};
    return EncodeGbk(QString(ch)) ? 2 : 4;
}

QString CutToValueBuffer(const QString& value) {
    // No UTF-16 unit takes more than four bytes, so short values need no count.
    if (value.size() * 4 <= kMaxValueBytes) return value;
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < value.size()) {
        char32_t c = value[i].unicode();
        qsizetype units = 1;
        if (value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(value[i], value[i + 1]);
            units = 2;
        }
        bytes += GbkLengthOf(c);
        if (bytes > kMaxValueBytes) break;
        i += units;
    }
    return i == value.size() ? value : value.left(i);
}

}  // namespace

QString ReadIniValue(const QString& path, const QString& section, const QString& key) {
    IniDocument document;
    if (!document.Load(path)) return QString();
    return CutToValueBuffer(document.Value(section, key));
}

bool WriteIniValue(const QString& path, const QString& section, const QString& key,
                   const QString& value) {
    IniDocument document;
    // A missing file starts empty; one that exists but cannot be read must not
    // be replaced by a file holding this one key.
    if (!document.Load(path) && QFileInfo::exists(path)) return false;
    document.SetValue(section, key, value);
    return document.Save(path);
}

bool WriteTextFile(const QString& path, const QString& text) {
    const std::optional<QByteArray> bytes = EncodeGbk(text + QLatin1StringView("\r\n"));
    if (!bytes) return false;
    return WriteFileAtomically(path, *bytes);
}

bool AppendTextToFile(const QString& path, const QString& text) {
    const std::optional<QByteArray> bytes = EncodeGbk(text + QLatin1StringView("\r\n"));
    if (!bytes) return false;
    QFile file(path);
    if (!file.open(QIODevice::Append)) return false;
    const bool written = file.write(*bytes) == bytes->size();
    return file.flush() && written;
}

double RandomInteger(int a, int b) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    std::seed_seq seed{std::uint32_t(ticks), std::uint32_t(ticks >> 32)};
    std::mt19937 generator(seed);
    // 24 random bits give every float in [0, 1) on the 2^-24 grid, and never 1:
    // with the usual bounds (a - b + 1 is negative) r = 1 would give a number
    // of eight digits.
    const float r = float(generator() >> 8) * (1.0f / 16777216.0f);
    return std::floor(double(r) * (double(a) - double(b) + 1.0) + double(b));
}

}  // namespace tovira
