#include "core/storage/edit_file.h"

#include "core/common/gbk_codec.h"
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

}  // namespace tovira
