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

}  // namespace
}  // namespace tovira
