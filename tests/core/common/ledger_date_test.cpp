#include "core/common/ledger_date.h"

#include <gtest/gtest.h>

namespace tovira {
namespace {

TEST(LedgerDateTest, ReadsTheFormsADateCellHolds) {
    struct Case {
        const char* text;
        QDate date;  // invalid: no date
    };
    const Case cases[] = {
        // As the program writes it, and as typed with other separators.
        {"2017/3/1", QDate(2017, 3, 1)},
        {"2017/12/31", QDate(2017, 12, 31)},
        {"2017-03-01", QDate(2017, 3, 1)},
        {"2017.3.1", QDate(2017, 3, 1)},
        {"2017/03/01", QDate(2017, 3, 1)},
        {" 2017/3/1\t", QDate(2017, 3, 1)},
        {"2020/2/29", QDate(2020, 2, 29)},
        // A bare number is a figure, not a day.
        {"20170301", QDate()},
        {"", QDate()},
        {"   ", QDate()},
        {"abc", QDate()},
        {"2017/3", QDate()},
        {"2017/3/", QDate()},
        {"/3/1", QDate()},
        {"2017/3/1/", QDate()},
        {"2017/3/1 x", QDate()},
        {"2017/3-1", QDate()},
        {"2017 3 1", QDate()},
        {"17/3/1", QDate()},
        {"02017/3/1", QDate()},
        {"2017/003/1", QDate()},
        {"2017/3/001", QDate()},
        {"+2017/3/1", QDate()},
        {"2017/+3/1", QDate()},
        {"２０１７/3/1", QDate()},  // full-width digits
        // Days the calendar lacks.
        {"2017/2/29", QDate()},
        {"2017/13/1", QDate()},
        {"2017/0/1", QDate()},
        {"2017/4/31", QDate()},
        {"2017/1/0", QDate()},
        {"0000/1/1", QDate()},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const std::optional<QDate> read = ReadLedgerDate(text);
        EXPECT_EQ(read.value_or(QDate()), c.date) << c.text;
        EXPECT_EQ(ReadLedgerDate(QStringView(text)), read) << c.text;
    }
}

}  // namespace
}  // namespace tovira
