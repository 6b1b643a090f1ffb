#include "core/marketdata/estimate.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QStringList>
#include <vector>

#include "core/marketdata/estimate_row.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

// Real days of one week in March 2024.
const QDate kWednesday(2024, 3, 13);
const QDate kFriday(2024, 3, 15);
const QDate kSaturday(2024, 3, 16);
const QDate kSunday(2024, 3, 17);

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

// ---------------------------------------------------------------- addresses

TEST(EstimateProviderTest, AddressesAndNames) {
    const QString base = QStringLiteral("http://127.0.0.1:8080");
    EXPECT_EQ(ScriptEstimateUrl(base, QStringLiteral("161725"), 123456789),
              "http://127.0.0.1:8080/js/161725.js?rt=144123456789");
    EXPECT_EQ(PageEstimateUrl(base, QStringLiteral("161725")),
              "http://127.0.0.1:8080/fund/ajax/gmfund/valuation/valuationnav.htm?jjdm=161725");
    EXPECT_EQ(ApiEstimateUrl(base, QStringLiteral("161725")),
              "http://127.0.0.1:8080/?module=api&controller=index&action=real&datatype=jsonp"
              "&callback=jQuery18303425260568037629_1460010584121&codes=161725");
    // The code goes in as typed, without any encoding.
    EXPECT_EQ(PageEstimateUrl(base, S("16 17&x")),
              "http://127.0.0.1:8080/fund/ajax/gmfund/valuation/valuationnav.htm?jjdm=16 17&x");

    EXPECT_EQ(ProviderName(EstimateProvider::Tiantian), S("天天基金"));
    EXPECT_EQ(ProviderName(EstimateProvider::Howbuy), S("好买基金"));
    EXPECT_EQ(ProviderName(EstimateProvider::Jqka), S("爱基金"));
    EXPECT_EQ(ProviderByName(S("好买基金")), EstimateProvider::Howbuy);
    EXPECT_EQ(ProviderByName(S("爱基金")), EstimateProvider::Jqka);
    EXPECT_FALSE(ProviderByName(S("天天基金 ")).has_value());
    EXPECT_FALSE(ProviderByName(QString()).has_value());
}

// ------------------------------------------------------------ field reading

TEST(EstimateFieldTest, FirstOccurrenceThreeCharactersOnLeadingNumber) {
    const QString body = QStringLiteral(R"({"dwjz":"1.0500","gsz":"1.0287","gszzl":"-2.03"})");
    EXPECT_EQ(ReadEstimateField(body, QStringLiteral("dwjz")), 1.05);
    EXPECT_EQ(ReadEstimateField(body, QStringLiteral("gsz")), 1.0287);
    EXPECT_EQ(ReadEstimateField(body, QStringLiteral("gszzl")), -2.03);
    EXPECT_FALSE(ReadEstimateField(body, QStringLiteral("jzrq")).has_value());

    // "gsz" is read at its first occurrence, even when that is inside "gszzl".
    const QString swapped = QStringLiteral(R"({"gszzl":"1.5","gsz":"2.0"})");
    EXPECT_EQ(ReadEstimateField(swapped, QStringLiteral("gsz")), 0.0);

    // Fewer than three characters after the name fail; a value no quote
    // closes was cut off and fails too; an empty closed one reads 0.
    EXPECT_FALSE(ReadEstimateField(QStringLiteral(R"(x"gsz":)"), QStringLiteral("gsz")));
    EXPECT_FALSE(ReadEstimateField(QStringLiteral(R"(x"gsz":")"), QStringLiteral("gsz")));
    EXPECT_FALSE(ReadEstimateField(QStringLiteral(R"(x"gsz":"1.0)"), QStringLiteral("gsz")));
    EXPECT_EQ(ReadEstimateField(QStringLiteral(R"(x"gsz":"")"), QStringLiteral("gsz")), 0.0);
    // Whatever the three characters are, they are dropped unread.
    EXPECT_EQ(ReadEstimateField(QStringLiteral("gsz123.5x\""), QStringLiteral("gsz")), 0.5);
}

// An answer cut anywhere (the connection closed mid-body, no Content-Length
// to tell) is never an estimate: a cut "1.0134" would read 1.0.
TEST(EstimateFieldTest, AnAnswerCutAnywhereIsNoEstimate) {
    const struct {
        EstimateProvider provider;
        const char* body;
    } answers[] = {
        {EstimateProvider::Tiantian,
         R"(jsonpgz({"fundcode":"161725","dwjz":"1.2424","gsz":"1.2577","gszzl":"-1.23","gztime":"2026-06-26 11:21"});)"},
        {EstimateProvider::Jqka,
         R"(jQuery18303425260568037629_1460010584121({"error":{"id":0,"msg":""},"data":{"161725":{"value":"1.2577","pre":"1.2424"}}}))"},
        {EstimateProvider::Howbuy, "<li><span>1.2577</span><span>-1.23%</span></li>"},
    };
    for (const auto& a : answers) {
        const QString body = QString::fromUtf8(a.body);
        ASSERT_TRUE(ParseEstimate(a.provider, body)) << a.body;
        // A call without its closing ";" is whole all the same.
        const int whole = int(body.size()) - (body.endsWith(u';') ? 1 : 0);
        for (int cut = 0; cut < whole; ++cut) {
            // The fragment's tail after its figures' element may go.
            if (a.provider == EstimateProvider::Howbuy && cut >= body.indexOf("%</") + 3) break;
            EXPECT_FALSE(ParseEstimate(a.provider, body.left(cut))) << a.body << " cut " << cut;
        }
    }
}

// --------------------------------------------------------- script provider

TEST(EstimateScriptTest, RealRepliesFromTheFixtures) {
    const QStringList lines =
        QString::fromUtf8(
            test::ReadFileBytes(test::DataPath("estimate/fundgz_jsonpgz_samples.txt")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7);
    struct Expected {
        const char *previous, *value, *change;
    };
    const std::vector<Expected> expected = {
        {"1.0500", "1.0287", "-2.03%"}, {"1.9782", "1.9196", "-2.96%"},
        {"0.7134", "0.7214", "1.13%"},  {"0.5162", "0.5077", "-1.65%"},
        {"0.5060", "0.4946", "-2.24%"}, {"1.9900", "2.0444", "2.73%"},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(lines[static_cast<int>(i)].toStdString());
        const std::optional<Estimate> e =
            ParseEstimate(EstimateProvider::Tiantian, lines[static_cast<int>(i)]);
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->previousNav, S(expected[i].previous));
        EXPECT_EQ(e->value, S(expected[i].value));
        EXPECT_EQ(e->change, S(expected[i].change));
    }
    // A fund without an estimate.
    EXPECT_EQ(lines[6].trimmed(), "jsonpgz();");
    EXPECT_FALSE(ParseScriptEstimate(lines[6]).has_value());
}

TEST(EstimateScriptTest, FormatsRoundHalfAwayFromZero) {
    const std::optional<Estimate> e = ParseScriptEstimate(
        QStringLiteral(R"(jsonpgz({"dwjz":"1.05","gsz":"1.234565","gszzl":"1.005"});)"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->previousNav, "1.0500");
    EXPECT_EQ(e->value, "1.23457");
    EXPECT_EQ(e->change, "1.01%");

    const std::optional<Estimate> f = ParseScriptEstimate(
        QStringLiteral(R"(jsonpgz({"dwjz":"0.5","gsz":"1.20000","gszzl":"-0.125"});)"));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->value, "1.2");
    EXPECT_EQ(f->change, "-0.13%");
}

TEST(EstimateScriptTest, MissingOrTruncatedFieldsFail) {
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"1.0"})")));
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"gsz":"1.0","gszzl":"1.0"})")));
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"1.0","gsz":"1.0","gszzl)")));
    EXPECT_FALSE(ParseScriptEstimate(QString()));
    // Markers without numbers read 0, which is no NAV: no estimate, rather
    // than a row of 0 in the ledger.
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"","gsz":"","gszzl":"--"})")));
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"1.0","gsz":"-1","gszzl":"1"})")));
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"0","gsz":"1.1","gszzl":"1"})")));
    // Without a "gsz" of its own, "gsz" is found inside "gszzl" and reads 0.
    EXPECT_FALSE(ParseScriptEstimate(QStringLiteral(R"({"dwjz":"1.0","gszzl":"1.5"})")));
}

// ----------------------------------------------------------- page provider
// No real reply of this provider is at hand: the fragments below are made up
// after the shape its clients expect (a <li> holding spans with the estimated
// NAV, the change amount, the change percent and the time).

TEST(EstimatePageTest, ValueAfterSecondTagChangeBeforeFirstPercent) {
    const QString reply = QStringLiteral(
        R"(<li><span class="con_value_down">1.0234</span><span class="con_value_down">)"
        R"(-0.0053</span><span class="con_value_down">-0.52%</span><span>[03-13 14:30]</span></li>)");
    const std::optional<Estimate> e = ParseEstimate(EstimateProvider::Howbuy, reply);
    ASSERT_TRUE(e);
    EXPECT_FALSE(e->previousNav.has_value());
    EXPECT_EQ(e->value, "1.0234");
    EXPECT_EQ(e->change, "-0.52%");

    // Four decimals at most, trailing zeros dropped.
    const std::optional<Estimate> f = ParsePageEstimate(
        QStringLiteral("<li><span>1.02345</span><span>0.01</span><span>2.5%</span></li>"));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->value, "1.0235");
    EXPECT_EQ(f->change, "2.50%");
    EXPECT_EQ(ParsePageEstimate(QStringLiteral("<li><span>1.2000</span>x>3%</li>"))->value, "1.2");
}

TEST(EstimatePageTest, MissingMarkersAndEmptyNumbersFail) {
    EXPECT_FALSE(ParsePageEstimate(QStringLiteral("<li><span>1.0234</span><span>-0.52</span>")));
    EXPECT_FALSE(ParsePageEstimate(QStringLiteral("<li>1.0234 -0.52%")));  // one ">" only
    EXPECT_FALSE(ParsePageEstimate(QStringLiteral("-0.52%")));
    EXPECT_FALSE(ParsePageEstimate(QStringLiteral("<li><span>--</span><span>%</span>")));
    // An error page whose style sheet holds a "%".
    EXPECT_FALSE(ParsePageEstimate(QStringLiteral(
        "<html><head><style>body{width:100%}</style></head><body>502 Bad Gateway</body></html>")));
}

// ------------------------------------------------------------ api provider
// Made up as well: a JSONP call with data[code].value and data[code].pre.

TEST(EstimateApiTest, ChangeIsWorkedOutFromValueAndPre) {
    const QString reply = QStringLiteral(
        R"(jQuery18303425260568037629_1460010584121({"error":{"id":0,"msg":""},"data":{"161725":)"
        R"({"name":"x","value":"1.1","pre":"1.0","date":"2024-03-13","time":"14:30"}}}))");
    const std::optional<Estimate> e = ParseEstimate(EstimateProvider::Jqka, reply);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->previousNav, "1.0000");
    EXPECT_EQ(e->value, "1.1");
    EXPECT_EQ(e->change, "10.00%");

    // The change comes from the parsed numbers, not from their rounded texts.
    const std::optional<Estimate> f =
        ParseApiEstimate(QStringLiteral(R"({"value":"0.987654","pre":"1.00005"})"));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->previousNav, "1.0001");
    EXPECT_EQ(f->value, "0.98765");
    EXPECT_EQ(f->change, "-1.24%");
}

TEST(EstimateApiTest, ZeroOrMissingPreFails) {
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"value":"1.1","pre":"0"})")));
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"value":"1.1","pre":"-1.0"})")));
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"value":"0","pre":"1.0"})")));
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"value":"1.1","pre":"abc"})")));
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"value":"1.1"})")));
    EXPECT_FALSE(ParseApiEstimate(QStringLiteral(R"({"pre":"1.0"})")));
}

// ----------------------------------------------------------- estimate row

namespace {

class EstimateRowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.SetText(Field::PurchaseFeePct, QStringLiteral("0"));
        settings.SetText(Field::RedeemFeePct, QStringLiteral("0"));
    }

    // One row per NAV, the last dated lastDate and the others on the days
    // before; row 1 buys 1000 (the figures are booked in Fact mode).
    void Rows(std::initializer_list<const char*> navs, const QDate& lastDate) {
        const int count = static_cast<int>(navs.size());
        for (const char* nav : navs) {
            const int row = ledger.LastRow() + 1;
            ledger.AddRow(QString::number(row));
            ledger.SetCell(row, Column::Date,
                           lastDate.addDays(row - count).toString(QStringLiteral("yyyy/M/d")));
            ledger.SetCell(row, Column::NetValue, QString::fromUtf8(nav));
        }
        ledger.SetCell(1, Column::PurchaseAmount, QStringLiteral("1000"));
    }

    std::optional<EstimateAlert> Apply(const char* estimate, const char* previous,
                                       const QDate& today, Mode mode = Mode::Fact) {
        return ApplyEstimate(ledger, settings, mode, S(estimate), S(previous), today);
    }

    QString Nav(int row) const { return ledger.Cell(row, Column::NetValue); }

    void BreakSwitches(const char* days, const char* amplitude) {
        settings.SetChecked(Switch::TakeProfitAlert, true);
        settings.SetChecked(Switch::BreakAlert, true);
        settings.SetText(Field::BreakMaDays, S(days));
        settings.SetText(Field::BreakAmplitudePct, S(amplitude));
    }

    LedgerModel ledger;
    PlanSettings settings;
};

}  // namespace

TEST_F(EstimateRowTest, ADatedPreviousNavGoesOnlyIntoARowOfItsDay) {
    // The ledger's last official day, the day the source names, what the
    // last official row's NAV becomes.
    const struct {
        int lagDays;       // the last row is this many days before today
        int navDayOffset;  // the previous NAV's day, from the last row's day
        const char* lastNav;
    } cases[] = {
        {1, 0, "1.0111"},   // up to date: the official NAV of that row's day
        {7, 6, "1.0200"},   // a week behind: yesterday's NAV is not that row's
        {7, -1, "1.0200"},  // an older day than the row's: left alone too
    };
    for (const auto& c : cases) {
        ledger.ClearRows();
        const QDate lastDay = kWednesday.addDays(-c.lagDays);
        Rows({"1.0000", "1.0100", "1.0200"}, lastDay);
        ApplyEstimate(ledger, settings, Mode::Fact, S("1.0345"), S("1.0111"), kWednesday,
                      lastDay.addDays(c.navDayOffset));
        ASSERT_EQ(ledger.LastRow(), 4) << c.lagDays;
        EXPECT_EQ(Nav(3), c.lastNav) << c.lagDays << " " << c.navDayOffset;
        EXPECT_EQ(Nav(4), "1.0345") << c.lagDays;
    }
}

TEST_F(EstimateRowTest, LastRowIsTodayUpdatesItAndTheRowBefore) {
    Rows({"1.0000", "1.0100", "1.0200"}, kWednesday);
    EXPECT_FALSE(Apply("1.0345", "1.0111", kWednesday));
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(Nav(1), "1.0000");
    EXPECT_EQ(Nav(2), "1.0111");
    EXPECT_EQ(Nav(3), "1.0345");
    // The pass ran over the new figures.
    EXPECT_EQ(ledger.Cell(3, Column::MarketValue), "1034.5");

    // Without a previous NAV the row before keeps its value.
    Apply("1.03", "", kWednesday);
    EXPECT_EQ(Nav(2), "1.0111");
    EXPECT_EQ(Nav(3), "1.03");
}

TEST_F(EstimateRowTest, WeekdayAfterTheLastRowAppendsToday) {
    Rows({"1.0000", "1.0100"}, kWednesday.addDays(-1));
    Apply("1.0345", "1.0111", kWednesday);
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(ledger.Cell(3, Column::ID), "3");
    EXPECT_EQ(ledger.Cell(3, Column::Date), "2024/3/13");
    EXPECT_EQ(Nav(3), "1.0345");
    EXPECT_EQ(Nav(2), "1.0111");
    EXPECT_EQ(Nav(1), "1.0000");
    EXPECT_EQ(ledger.Cell(3, Column::PurchaseStatus), "");
    EXPECT_EQ(ledger.Cell(3, Column::DividendAction), "");
    EXPECT_EQ(ledger.Cell(3, Column::HeldShares), "1000");

    // The next estimate of the day finds today's row and adds nothing.
    Apply("1.04", "", kWednesday);
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(Nav(2), "1.0111");
    EXPECT_EQ(Nav(3), "1.04");
}

TEST_F(EstimateRowTest, TodaysRowMatchesOnlyTheExactDateText) {
    Rows({"1.0000", "1.0100"}, kWednesday);
    ledger.SetCell(2, Column::Date, QStringLiteral("2024/03/13"));
    Apply("1.0345", "", kWednesday);
    ASSERT_EQ(ledger.LastRow(), 3);
    EXPECT_EQ(Nav(2), "1.0100");
    EXPECT_EQ(ledger.Cell(3, Column::Date), "2024/3/13");
}

TEST_F(EstimateRowTest, WeekendTakesTheLastRowForToday) {
    for (const QDate& weekend : {kSaturday, kSunday}) {
        SCOPED_TRACE(weekend.toString().toStdString());
        ledger.ClearRows();
        Rows({"1.0000", "1.0100", "1.0200"}, kFriday);
        Apply("1.0345", "1.0111", weekend);
        ASSERT_EQ(ledger.LastRow(), 3);
        EXPECT_EQ(Nav(1), "1.0000");
        EXPECT_EQ(Nav(2), "1.0111");
        EXPECT_EQ(Nav(3), "1.0345");
        EXPECT_EQ(ledger.Cell(3, Column::Date), "2024/3/15");
    }
    // Friday is still a weekday.
    ledger.ClearRows();
    Rows({"1.0000"}, kFriday.addDays(-1));
    Apply("1.0345", "", kFriday);
    EXPECT_EQ(ledger.LastRow(), 2);
}

TEST_F(EstimateRowTest, SingleRowSkipsTheMissingRowBefore) {
    Rows({"1.0000"}, kWednesday);
    Apply("1.0345", "0.9999", kWednesday);
    ASSERT_EQ(ledger.LastRow(), 1);
    EXPECT_EQ(Nav(1), "1.0345");

    ledger.ClearRows();
    Rows({"1.0000"}, kFriday);
    Apply("1.0345", "0.9999", kSaturday);
    ASSERT_EQ(ledger.LastRow(), 1);
    EXPECT_EQ(Nav(1), "1.0345");

    ledger.ClearRows();
    Rows({"1.0000"}, kWednesday.addDays(-1));
    Apply("1.0345", "0.9999", kWednesday);
    ASSERT_EQ(ledger.LastRow(), 2);
    EXPECT_EQ(Nav(1), "0.9999");
    EXPECT_EQ(Nav(2), "1.0345");
}

TEST_F(EstimateRowTest, EmptyLedgerStaysEmptyWithoutAlert) {
    settings.SetChecked(Switch::TakeProfitAlert, true);
    settings.SetText(Field::TakeProfitPct, QStringLiteral("-100"));
    EXPECT_FALSE(Apply("1.0345", "1.0111", kWednesday));
    EXPECT_EQ(ledger.LastRow(), 0);
}

TEST_F(EstimateRowTest, TakeProfitAtThePointNotBelow) {
    settings.SetChecked(Switch::TakeProfitAlert, true);
    Rows({"1.0000"}, kWednesday.addDays(-1));
    std::optional<EstimateAlert> alert = Apply("1.15", "", kWednesday);
    EXPECT_EQ(ledger.Cell(2, Column::ReturnPct), "15");
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->kind, AlertKind::TakeProfit);
    EXPECT_EQ(alert->text, S("您的收益率已达到15%，请决定是否全部赎回！"));

    EXPECT_FALSE(Apply("1.1499", "", kWednesday));
    EXPECT_EQ(ledger.Cell(2, Column::ReturnPct), "14.99");

    // The point is quoted as typed.
    settings.SetText(Field::TakeProfitPct, QStringLiteral("14.990"));
    alert = Apply("1.1499", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text, S("您的收益率已达到14.990%，请决定是否全部赎回！"));
}

TEST_F(EstimateRowTest, OnlyTheChosenAlertIsConsidered) {
    Rows({"1.0000"}, kWednesday.addDays(-1));
    // Without SPRemind nothing is raised, BrokenSP alone neither.
    EXPECT_FALSE(Apply("1.5", "", kWednesday));
    settings.SetChecked(Switch::BreakAlert, true);
    EXPECT_FALSE(Apply("1.5", "", kWednesday));
    // With both on, the break alert replaces the take-profit alert.
    settings.SetChecked(Switch::TakeProfitAlert, true);
    settings.SetChecked(Switch::BreakAlert, true);
    EXPECT_FALSE(Apply("1.5", "", kWednesday));
    settings.SetChecked(Switch::BreakAlert, false);
    EXPECT_TRUE(Apply("1.5", "", kWednesday));
}

TEST_F(EstimateRowTest, BreakBelowTheAverageWhileInProfit) {
    BreakSwitches("5", "1");
    // Bought at 0.5, then five days at 1.0000: the threshold is 0.9900.
    Rows({"0.5000", "1.0000", "1.0000", "1.0000", "1.0000", "1.0000"}, kWednesday.addDays(-1));
    std::optional<EstimateAlert> alert = Apply("0.99", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->kind, AlertKind::Break);
    EXPECT_EQ(alert->text, S("该基金估值的跌幅已超过近5日(不算当天)平均值1.0000的1%，请赎回！"));
    EXPECT_FALSE(Apply("0.9901", "", kWednesday));
    EXPECT_TRUE(Apply("0.98", "", kWednesday));

    // Bought at 1.0000 the same fall is a loss: no alert.
    ledger.ClearRows();
    Rows({"1.0000", "1.0000", "1.0000", "1.0000", "1.0000", "1.0000"}, kWednesday.addDays(-1));
    EXPECT_FALSE(Apply("0.98", "", kWednesday));
    EXPECT_EQ(ledger.Cell(7, Column::ReturnPct), "-2");
}

TEST_F(EstimateRowTest, BreakNeedsMoreRowsThanDays) {
    BreakSwitches("5", "1");
    // Today's row is the fifth: too little history for five days.
    Rows({"0.9", "1.0", "1.0", "1.0", "1.0"}, kWednesday);
    EXPECT_FALSE(Apply("0.95", "", kWednesday));
    settings.SetText(Field::BreakMaDays, QStringLiteral("4"));
    EXPECT_TRUE(Apply("0.95", "", kWednesday));
    for (const char* days : {"0", "0.5", "-3", "1e9", "abc"}) {
        settings.SetText(Field::BreakMaDays, S(days));
        EXPECT_FALSE(Apply("0.95", "", kWednesday)) << days;
    }
}

TEST_F(EstimateRowTest, BreakDaysRoundHalfToEvenAndAreQuotedAsTyped) {
    BreakSwitches("2.5", "1");
    // Days before today: 1.0, 1.0, 1.3, 0.9 (most recent first).
    Rows({"0.5", "0.9", "1.3", "1.0", "1.0"}, kWednesday.addDays(-1));
    std::optional<EstimateAlert> alert = Apply("0.95", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text, S("该基金估值的跌幅已超过近2.5日(不算当天)平均值1.0000的1%，请赎回！"));

    settings.SetText(Field::BreakMaDays, QStringLiteral("3.4"));
    alert = Apply("0.95", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text, S("该基金估值的跌幅已超过近3.4日(不算当天)平均值1.1000的1%，请赎回！"));

    settings.SetText(Field::BreakMaDays, QStringLiteral("3.5"));
    settings.SetText(Field::BreakAmplitudePct, QStringLiteral("1.0"));
    alert = Apply("0.95", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text,
              S("该基金估值的跌幅已超过近3.5日(不算当天)平均值1.0500的1.0%，请赎回！"));
}

TEST_F(EstimateRowTest, BreakAverageIsKeptInSinglePrecision) {
    // The single-precision average 2.0370202 gives the threshold 2.0167;
    // the exact average 2.03702 would give 2.0166.
    BreakSwitches("5", "1");
    Rows({"0.5", "2.5760", "1.9109", "2.6483", "1.3388", "1.7111"}, kWednesday.addDays(-1));
    std::optional<EstimateAlert> alert = Apply("2.0167", "", kWednesday);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text, S("该基金估值的跌幅已超过近5日(不算当天)平均值2.0370的1%，请赎回！"));
    EXPECT_FALSE(Apply("2.0168", "", kWednesday));
}

TEST_F(EstimateRowTest, EmptyEstimateNeverBreaks) {
    // Nothing booked: the return is 0, and an empty estimate reads as 0.
    BreakSwitches("2", "1");
    Rows({"1.0", "1.0", "1.0"}, kWednesday.addDays(-1));
    EXPECT_FALSE(Apply("", "", kWednesday, Mode::None));
    EXPECT_EQ(Nav(4), "");
    EXPECT_TRUE(Apply("0.5", "", kWednesday, Mode::None));
}
