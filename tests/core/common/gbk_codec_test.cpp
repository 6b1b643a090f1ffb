#include "core/common/gbk_codec.h"

#include <gtest/gtest.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <iterator>

#include "core/common/gbk_ledger_table.h"

namespace tovira {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(GbkCodecTest, RefusesTextGbkCannotHold) {
    EXPECT_EQ(EncodeGbk(U("中 1")), QByteArray("\xD6\xD0 1"));
    EXPECT_FALSE(EncodeGbk(U("😀")));
    // The converter writes the euro sign as 0x80, which reads back as
    // something else.
    EXPECT_FALSE(EncodeGbk(U("€")));
    EXPECT_FALSE(EncodeGbk(QString(QChar(0xE849))));  // written as FE85, read as U+4947
    EXPECT_EQ(DecodeGbk("\xD6\xD0\x81\x30\x81\x30"), U("中\u0080"));
}

// INI names are compared and hashed character by character: a broken or
// cut-off sequence must step one byte, never past the end of the text.
TEST(GbkCodecTest, CharacterLengthsStayInsideTheText) {
    struct Case {
        const char* bytes;
        qsizetype at;
        qsizetype length;
    };
    const Case cases[] = {
        {"a", 0, 1},
        {"\xD6\xD0", 0, 2},          // 中
        {"\xB5\x5D", 0, 2},          // second byte ']'
        {"\x81\x30\x81\x30", 0, 4},  // a four-byte character
        {"\x81\x30\x81", 0, 1},      // cut off
        {"\xD6", 0, 1},              // a lead byte at the end
        {"\xD6\x7F", 0, 1},          // 0x7F is no second byte
        {"\xD6\xFF", 0, 1},          // nor is 0xFF
        {"\xFF\xD6", 0, 1},          // 0xFF leads nothing
        {"x\xD6\xD0", 1, 2},
    };
    for (const Case& c : cases) {
        const QByteArray bytes(c.bytes);
        EXPECT_EQ(GbkCharLength(bytes.constData(), c.at, bytes.size()), c.length) << c.bytes;
    }
}

// What the general converters make of one character: its GBK bytes when it
// has a form that reads back as itself (see EncodeGbk), else nothing.
std::optional<QByteArray> Converted(QChar c) {
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(QStringView(&c, 1));
    if (encoder.hasError() || bytes.size() != 2) return std::nullopt;
    QStringDecoder decoder("GB18030");
    if (decoder.decode(bytes) != QString(c) || decoder.hasError()) return std::nullopt;
    return bytes;
}

// The ledger's characters come from a table instead of the converters: each
// pair must be what the converters say, both ways, and every other character
// still goes to the converters.
TEST(GbkCodecTest, TheLedgerTableIsWhatTheConvertersSay) {
    const auto byCharacter = [](const GbkPair& a, const GbkPair& b) {
        return a.character < b.character;
    };
    const auto byCode = [](const GbkPair& a, const GbkPair& b) { return a.code < b.code; };
    ASSERT_TRUE(std::is_sorted(std::begin(kLedgerGbkByCharacter), std::end(kLedgerGbkByCharacter),
                               byCharacter));
    ASSERT_TRUE(std::is_sorted(std::begin(kLedgerGbkByCode), std::end(kLedgerGbkByCode), byCode));
    ASSERT_EQ(std::size(kLedgerGbkByCharacter), std::size(kLedgerGbkByCode));
    for (const GbkPair& pair : kLedgerGbkByCode) {
        EXPECT_TRUE(std::binary_search(std::begin(kLedgerGbkByCharacter),
                                       std::end(kLedgerGbkByCharacter), pair, byCharacter));
    }

    QString all;
    QByteArray allBytes;
    for (const GbkPair& pair : kLedgerGbkByCharacter) {
        const QChar c(pair.character);
        const char code[2] = {char(pair.code >> 8), char(pair.code & 0xFF)};
        const QByteArray bytes(code, 2);
        EXPECT_EQ(Converted(c), bytes) << pair.character;
        EXPECT_EQ(QStringDecoder("GB18030").decode(bytes), QString(c)) << pair.code;
        all += c;
        allBytes += bytes;
    }
    EXPECT_EQ(EncodeGbk(all), allBytes);
    EXPECT_EQ(DecodeGbk(allBytes), all);
    EXPECT_EQ(FirstNonGbkCharacter(all), std::nullopt);

    // Characters beyond the table: the CJK block, punctuation and symbols,
    // private use, the euro sign (0x80 reads back as something else).
    int others = 0;
    for (char16_t c = 0x80; c < 0xD800; c += 7) {
        const QString text(QChar{c});
        EXPECT_EQ(EncodeGbk(text), Converted(QChar(c))) << int(c);
        if (const std::optional<QByteArray> bytes = EncodeGbk(text)) {
            EXPECT_EQ(DecodeGbk(*bytes), text) << int(c);
        }
        ++others;
    }
    for (const char16_t c : {u'中', u'·', u'、', u'€', char16_t(0xE849), u'（', u'龘'}) {
        EXPECT_EQ(EncodeGbk(QString(QChar(c))), Converted(QChar(c))) << int(c);
    }
    EXPECT_GT(others, 7000);
}

}  // namespace
}  // namespace tovira
