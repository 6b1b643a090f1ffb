#pragma once
// GBK, the code page of every file the program writes, and GB18030, the
// superset it reads them with.
//
// The structural characters of an INI or CSV line (line ends, blanks, '=',
// '"', ',') are below 0x40 and so never occur inside a double-byte character,
// whose second byte is 0x40..0xFE, nor inside a four-byte GB18030 one (second
// and fourth byte 0x30..0x39). Lines can therefore be split and trimmed on the
// bytes. '[' and ']' can be second bytes, and ASCII letters too, so bracket
// search and case folding walk character by character (GbkCharLength).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace tovira {

// Encodes text as GBK; nothing when a character has no GBK form.
std::optional<QByteArray> EncodeGbk(const QString& text);
// Writes the GBK form of text to out, which must hold 2 * text.size() bytes;
// the byte count, or -1 when a character has no GBK form.
qsizetype WriteGbk(QStringView text, char* out);
// Decodes GBK (GB18030) bytes.
QString DecodeGbk(QByteArrayView bytes);
// The first character of text that GBK cannot hold (a surrogate pair counts
// as one character), or nothing.
std::optional<QString> FirstNonGbkCharacter(const QString& text);

// The length in bytes of the GB18030 character starting at p[i] of the n
// bytes at p: 2 or 4 for a whole multi-byte character, else 1 (an ASCII byte,
// or a broken or cut-off sequence, which is stepped over byte by byte).
// Inline: the INI reader steps through every name and line with it.
inline qsizetype GbkCharLength(const char* p, qsizetype i, qsizetype n) {
    const auto b = static_cast<unsigned char>(p[i]);
    if (b < 0x81 || b > 0xFE || i + 1 >= n) return 1;
    const auto second = static_cast<unsigned char>(p[i + 1]);
    if (second >= 0x30 && second <= 0x39) return i + 3 < n ? 4 : 1;
    if (second >= 0x40 && second != 0x7F && second != 0xFF) return 2;
    return 1;
}

}  // namespace tovira
