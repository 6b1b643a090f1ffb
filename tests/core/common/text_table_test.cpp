#include "core/common/text_table.h"

#include <gtest/gtest.h>

using namespace tovira;

namespace {
using Align = TextTable::Align;
}

// Columns line up by display width (a Chinese character takes two cells),
// whatever the alignment; no line ends in blanks.
TEST(TextTableTest, LinesUpWideTextAndDropsTrailingBlanks) {
    const struct {
        const char* what;
        std::vector<Align> aligns;
        std::vector<QStringList> rows;
        const char* text;
    } cases[] = {
        {"left",
         {},
         {{"日期", "x"}, {"2024/1/4", "12.5"}, {"a", ""}},
         "日期      x\n"
         "2024/1/4  12.5\n"
         "a\n"},
        {"right figures",
         {Align::Left, Align::Right},
         {{"项目", "本计划"}, {"天数", "7"}},
         "项目  本计划\n"
         "天数       7\n"},
        {"a short row",
         {Align::Left, Align::Right, Align::Right},
         {{"a", "bb", "ccc"}, {"long caption", "1"}},
         "a             bb  ccc\n"
         "long caption   1\n"},
        {"nothing", {}, {}, ""},
    };
    for (const auto& c : cases) {
        TextTable table(c.aligns);
        for (const QStringList& row : c.rows) table.AddRow(row);
        EXPECT_EQ(table.Text(), QString::fromUtf8(c.text)) << c.what;
        QString written;
        QTextStream out(&written);
        table.Write(out);
        out.flush();
        EXPECT_EQ(written, table.Text()) << c.what;
    }
}

TEST(TextTableTest, ABlankLineKeepsTheColumnsOfBothParts) {
    TextTable table({Align::Left, Align::Right});
    table.AddRow({QStringLiteral("净盈亏"), QStringLiteral("1.00")});
    table.AddBlankLine();
    table.AddRow({QStringLiteral("基金最大回撤(%)"), QStringLiteral("-12.34")});
    EXPECT_EQ(table.Text(), QStringLiteral("净盈亏             1.00\n"
                                           "\n"
                                           "基金最大回撤(%)  -12.34\n"));
}
