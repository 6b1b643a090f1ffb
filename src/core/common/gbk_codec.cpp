#include "core/common/gbk_codec.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <atomic>
#include <iterator>

#include "core/common/gbk_ledger_table.h"

namespace tovira {

namespace {

// GBK codes are two bytes with a lead byte of 0x81..0xFE, so neither 0 nor
// 0xFFFF is ever a real code.
constexpr quint16 kUnknown = 0;
constexpr quint16 kNoGbkForm = 0xFFFF;

// The ledger's own characters come from the table: opening the converter
// costs more than a whole export of a short plan.
quint16 LedgerCodeOf(char16_t c) {
    const auto* end = std::end(kLedgerGbkByCharacter);
    const auto* at =
        std::lower_bound(std::begin(kLedgerGbkByCharacter), end, c,
                         [](const GbkPair& pair, char16_t key) { return pair.character < key; });
    return at != end && at->character == c ? at->code : kUnknown;
}

char16_t LedgerCharacterOf(quint16 code) {
    const auto* end = std::end(kLedgerGbkByCode);
    const auto* at =
        std::lower_bound(std::begin(kLedgerGbkByCode), end, code,
                         [](const GbkPair& pair, quint16 key) { return pair.code < key; });
    return at != end && at->code == code ? at->character : char16_t(0);
}

// What is known of every character and code, filled as they come: zero
// until then, so that the tables cost no memory (nor time) before their
// pages are used. Threads may fill an entry at the same time; they write the
// same value.
std::atomic<quint16> codeOfCharacter[0x10000];
std::atomic<char16_t> characterOfCode[0x10000];

// The GBK code of one BMP character, or kNoGbkForm. A character only counts
// as encodable when it comes back unchanged through the GB18030 reader: the
// converter maps a few characters (the euro sign to the single byte 0x80, some
// private-use code points) to bytes that read back as something else, and
// writing those would lose them silently.
quint16 GbkCodeOf(char16_t c) {
    quint16 code = codeOfCharacter[c].load(std::memory_order_relaxed);
    if (code != kUnknown) return code;
    code = LedgerCodeOf(c);
    if (code == kUnknown) {
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
    }
    codeOfCharacter[c].store(code, std::memory_order_relaxed);
    return code;
}

// The character of a two-byte code, or 0xFFFF when it takes more than one
// UTF-16 unit (then the general converter decodes).
char16_t CharOfGbkCode(uchar lead, uchar trail) {
    constexpr char16_t kUnknownChar = 0;
    constexpr char16_t kComplex = 0xFFFF;
    const auto code = quint16((lead << 8) | trail);
    char16_t c = characterOfCode[code].load(std::memory_order_relaxed);
    if (c != kUnknownChar) return c;
    c = LedgerCharacterOf(code);
    if (c == kUnknownChar) {
        const char bytes[2] = {char(lead), char(trail)};
        QStringDecoder decoder("GB18030");
        const QString text = decoder.decode(QByteArrayView(bytes, 2));
        c = text.size() == 1 ? text[0].unicode() : kComplex;
    }
    characterOfCode[code].store(c, std::memory_order_relaxed);
    return c;
}

}  // namespace

// Files are nearly all ASCII; a cached code per character is several times
// faster than the general converter and checks each character's round trip on
// the way.
qsizetype WriteGbk(QStringView text, char* out) {
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

std::optional<QByteArray> EncodeGbk(const QString& text) {
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    const qsizetype size = WriteGbk(text, out.data());
    if (size < 0) return std::nullopt;
    out.truncate(size);
    return out;
}

QString DecodeGbk(QByteArrayView bytes) {
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
        if (GbkCharLength(p, i, n) != 2) return QStringDecoder("GB18030").decode(bytes);
        const char16_t c = CharOfGbkCode(b, uchar(p[i + 1]));
        if (c == 0xFFFF) return QStringDecoder("GB18030").decode(bytes);
        *out++ = QChar(c);
        i += 2;
    }
    text.truncate(out - text.constData());
    return text;
}

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

}  // namespace tovira
