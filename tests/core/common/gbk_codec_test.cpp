#include "core/common/gbk_codec.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tovira
