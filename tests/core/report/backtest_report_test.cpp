#include "core/report/backtest_report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cmath>

#include "core/common/display_width.h"
#include "core/common/numbers.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

CashFlow Flow(int year, int month, int day, double amount) {
    return {QDate(year, month, day), amount};
}

// How far a figure's text may lie from the exact money: half a unit of its
// 7th significant digit, plus half a step of single precision at its size.
double Slack(double v) {
    if (v == 0) return 0;
    const float f = std::fabs(static_cast<float>(v));
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(v))) - 6) +
           (std::nextafter(f, 1e30f) - f) / 2.0;
}

// Three days: the plan buys 400 and then 600 in 实际操作; the fund falls 10 %
// and ends 20 % up a year and a day later.
class HandLedger : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* dates[] = {"2020/1/1", "2020/2/3", "2021/1/1"};
        const char* navs[] = {"1.0000", "0.9000", "1.2000"};
        const char* amounts[] = {"400", "600", ""};
        for (int row = 1; row <= 3; ++row) {
            ledger.AddRow(QString::number(row));
            ledger.SetCell(row, Column::Date, QString::fromLatin1(dates[row - 1]));
            ledger.SetCell(row, Column::NetValue, QString::fromLatin1(navs[row - 1]));
            ledger.SetCell(row, Column::PurchaseAmount, QString::fromLatin1(amounts[row - 1]));
        }
        ledger.SetCell(1, Column::DailyChange, QStringLiteral("0"));
        Recalculate(ledger, settings, Mode::Fact);
        report = BuildBacktestReport(ledger, settings, Mode::Fact);
        ASSERT_TRUE(report.has_value());
    }
    LedgerModel ledger;
    PlanSettings settings;  // fees 0.15 % and 0.5 %
    std::optional<BacktestReport> report;
};

}  // namespace

TEST(XirrTest, HandCases) {
    struct Case {
        const char* name;
        std::vector<CashFlow> flows;
        std::optional<double> rate;
    };
    // 1000 now and 1000 a year later grow to 2200 after two years:
    // y^2 + y = 2.2 with y = 1 + r.
    const double twoPayments = (std::sqrt(9.8) - 1) / 2 - 1;
    const Case cases[] = {
        {"gain over one year", {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, 110)}, 0.10},
        {"loss over one year", {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, 90)}, -0.10},
        {"two payments",
         {Flow(2021, 1, 1, -1000), Flow(2022, 1, 1, -1000), Flow(2023, 1, 1, 2200)},
         twoPayments},
        {"zero flows are ignored",
         {Flow(2021, 1, 1, 0), Flow(2021, 1, 1, -100), Flow(2021, 6, 1, 0), Flow(2022, 1, 1, 110)},
         0.10},
        {"only money paid in", {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, -50)}, std::nullopt},
        {"only money taken out", {Flow(2021, 1, 1, 100), Flow(2022, 1, 1, 50)}, std::nullopt},
        {"one date", {Flow(2021, 1, 1, -100), Flow(2021, 1, 1, 110)}, std::nullopt},
        {"no flows", {}, std::nullopt},
        {"a flow without a date", {{QDate(), -100}, Flow(2022, 1, 1, 110)}, std::nullopt},
        // Rates beyond what a double holds: no number rather than a wrong one.
        {"ten thousandfold in a day", {Flow(2021, 1, 1, -1), Flow(2021, 1, 2, 1e4)}, std::nullopt},
        {"almost all lost in a day", {Flow(2021, 1, 1, -1e4), Flow(2021, 1, 2, 1)}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<double> r = Xirr(c.flows);
        ASSERT_EQ(r.has_value(), c.rate.has_value());
        if (r) {
            EXPECT_NEAR(*r, *c.rate, 1e-9);
        }
    }
}

// The flows telescope to the last Profit: checked at every row of every
// golden plan (the row as the end of the plan), in the mode it was made for.
TEST(BacktestReportTest, FlowsAddUpToProfitOnGoldenPlans) {
    const QDir dir(test::DataPath("golden"));
    const QStringList csvs = dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    ASSERT_GE(csvs.size(), 21);
    bool sawRedemptions = false, sawDividends = false;
    for (const QString& csv : csvs) {
        SCOPED_TRACE(csv.toStdString());
        const QStringList parts = csv.split(u'.');
        LedgerModel ledger;
        PlanSettings settings;
        OpenPlanOptions options;
        options.mode = parts[1] == QStringLiteral("fact") ? Mode::Fact : Mode::Theory;
        ASSERT_EQ(
            OpenPlanFile(dir.filePath(parts[0] + QStringLiteral(".ini")), ledger, settings, options)
                .result,
            OpenResult::Opened);
        const std::vector<CashFlow> flows = PlanCashFlows(ledger, settings);
        const int n = ledger.LastRow();
        ASSERT_EQ(flows.size(), static_cast<size_t>(n) + 1);
        const double rf = static_cast<float>(1 - settings.Number(Field::RedeemFeePct) / 100);
        double sum = 0;
        double moneySlack = 0;
        for (int row = 1; row <= n; ++row) {
            sum += flows[static_cast<size_t>(row - 1)].amount;
            const double value = ReadNumber(ledger.Cell(row, Column::MarketValue));
            const double invested = ReadNumber(ledger.Cell(row, Column::NetInvested));
            const double profit = ReadNumber(ledger.Cell(row, Column::Profit));
            ASSERT_NEAR(sum + value * rf, profit,
                        0.01 + Slack(value) + Slack(invested) + Slack(profit))
                << "row " << row;
            moneySlack += 0.01 + Slack(invested) +
                          Slack(ReadNumber(ledger.Cell(row, Column::PurchaseAmount))) +
                          Slack(ReadNumber(ledger.Cell(row, Column::RedeemAmount)));
        }
        EXPECT_NEAR(sum, -ReadNumber(ledger.Cell(n, Column::NetInvested)), 1e-6);
        EXPECT_DOUBLE_EQ(flows.back().amount, ReadNumber(ledger.Cell(n, Column::MarketValue)) * rf);
        const std::optional<BacktestReport> report =
            BuildBacktestReport(ledger, settings, options.mode);
        ASSERT_TRUE(report.has_value());
        const StrategyFigures& plan = report->plan;
        EXPECT_EQ(plan.profit, ReadNumber(ledger.Cell(n, Column::Profit)));
        // Money in less money out is what stays invested, up to each row's
        // rounding.
        EXPECT_NEAR(plan.paidIn - plan.received - plan.dividendsReceived,
                    ReadNumber(ledger.Cell(n, Column::NetInvested)), moneySlack);
        // The fee rows complete the table: what came back, what is left after
        // selling it, less what was paid in, is the profit.
        for (const StrategyFigures* s : {&report->plan, &report->lumpSum, &report->monthly}) {
            EXPECT_NEAR(s->received + s->dividendsReceived + s->finalValue - s->exitFee - s->paidIn,
                        s->profit, moneySlack + Slack(s->finalValue) + Slack(s->profit));
            EXPECT_NEAR(s->exitFee, s->finalValue * (1 - rf), 0.005 + Slack(s->finalValue));
        }
        sawRedemptions = sawRedemptions || plan.redemptions > 0;
        sawDividends = sawDividends || plan.dividendsReceived > 0;
    }
    EXPECT_TRUE(sawRedemptions && sawDividends);
}

TEST_F(HandLedger, PlanAndBaselines) {
    const StrategyFigures& plan = report->plan;
    EXPECT_EQ(plan.days, 366);
    EXPECT_EQ(plan.purchases, 2);
    EXPECT_EQ(plan.maxCapital, 1000);
    EXPECT_EQ(plan.maxCapitalDate, QDate(2020, 2, 3));

    // The lump sum buys the plan's highest capital, 1000, on day one:
    // 1000 / 1.0015 / 1.0 = 998.50 shares, worth 898.65 at 0.90 and 1198.20
    // at 1.20; after the 0.5 % fee that is -105.84 and +192.21.
    const StrategyFigures& lump = report->lumpSum;
    EXPECT_EQ(lump.purchases, 1);
    EXPECT_EQ(lump.paidIn, 1000);
    EXPECT_EQ(lump.fees, 1.5);
    EXPECT_EQ(lump.maxCapital, 1000);
    EXPECT_EQ(lump.maxCapitalDate, QDate(2020, 1, 1));
    EXPECT_EQ(lump.finalValue, 1198.2);
    EXPECT_EQ(lump.profit, 192.21);
    EXPECT_EQ(lump.returnOnCapitalPct, 19.22);
    EXPECT_EQ(lump.worstProfit, -105.84);
    EXPECT_EQ(lump.worstProfitDate, QDate(2020, 2, 3));
    EXPECT_EQ(lump.worstReturnPct, -10.58);
    const double rate = std::pow(1198.2 * static_cast<double>(0.995f) / 1000, 365.0 / 366) - 1;
    ASSERT_TRUE(lump.xirrPct.has_value());
    EXPECT_NEAR(*lump.xirrPct, rate * 100, 0.005);

    // Three calendar months: 333.33 on each first trading day.
    EXPECT_EQ(report->months, 3);
    EXPECT_EQ(report->monthlyAmount, 333.33);
    EXPECT_EQ(report->monthly.purchases, 3);
    EXPECT_EQ(report->monthly.paidIn, 999.99);

    // The fund: -10 % on day two, +20 % at the end.
    EXPECT_EQ(report->fund.changePct, 20);
    EXPECT_EQ(report->fund.maxDrawdownPct, 10);
    EXPECT_EQ(report->fund.peakDate, QDate(2020, 1, 1));
    EXPECT_EQ(report->fund.troughDate, QDate(2020, 2, 3));
    EXPECT_NEAR(*report->fund.annualisedPct, (std::pow(1.2, 365.0 / 366) - 1) * 100, 0.005);

    // The plan's own ledger is left as it was.
    EXPECT_EQ(ledger.Cell(1, Column::PurchaseAmount), "400");
    EXPECT_EQ(ledger.LastRow(), 3);
}

// The status bar's figures: the plan's own, as the full report has them.
TEST_F(HandLedger, PlanFiguresOnlyMatchTheReport) {
    const std::optional<StrategyFigures> own = PlanFiguresOnly(ledger, settings);
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->maxCapital, report->plan.maxCapital);
    EXPECT_EQ(own->profit, report->plan.profit);
    EXPECT_EQ(own->returnOnCapitalPct, report->plan.returnOnCapitalPct);
    EXPECT_EQ(own->xirrPct, report->plan.xirrPct);
    EXPECT_EQ(own->profitByRow, report->plan.profitByRow);
    EXPECT_FALSE(PlanFiguresOnly(LedgerModel(), settings).has_value());
}

// A redemption typed on the first day is shown but never booked (the
// holdings and the money invested ignore it), so it moves no money here.
TEST_F(HandLedger, FirstDayRedemptionMovesNoMoney) {
    ledger.SetCell(1, Column::RedeemShares, QStringLiteral("100"));
    Recalculate(ledger, settings, Mode::Fact);
    ASSERT_NE(ReadNumber(ledger.Cell(1, Column::RedeemAmount)), 0);
    const std::optional<BacktestReport> r = BuildBacktestReport(ledger, settings, Mode::Fact);
    EXPECT_EQ(r->plan.redemptions, 0);
    EXPECT_EQ(r->plan.received, 0);
    EXPECT_EQ(r->plan.fees, report->plan.fees);
}

TEST_F(HandLedger, JsonHasTheKeysAndNulls) {
    const QJsonDocument doc = QJsonDocument::fromJson(BacktestReportJsonText(*report));
    ASSERT_TRUE(doc.isObject());
    const QJsonObject o = doc.object();
    const QSet<QString> strategyKeys = {"first_date",
                                        "last_date",
                                        "days",
                                        "purchases",
                                        "paid_in",
                                        "redemptions",
                                        "received",
                                        "dividends_received",
                                        "fees",
                                        "exit_fee",
                                        "max_capital",
                                        "max_capital_date",
                                        "final_value",
                                        "profit",
                                        "return_on_capital_pct",
                                        "xirr_pct",
                                        "xirr_unique",
                                        "worst_profit",
                                        "worst_profit_date",
                                        "worst_return_pct",
                                        "worst_return_date"};
    const QStringList topKeys = o.keys();
    EXPECT_EQ(QSet<QString>(topKeys.begin(), topKeys.end()),
              (QSet<QString>{"plan", "lump_sum", "monthly", "fund"}));
    for (const char* s : {"plan", "lump_sum", "monthly"}) {
        const QStringList keys = o[QLatin1String(s)].toObject().keys();
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()), strategyKeys) << s;
    }
    const QStringList fundKeys = o["fund"].toObject().keys();
    EXPECT_EQ(QSet<QString>(fundKeys.begin(), fundKeys.end()),
              (QSet<QString>{"change_pct", "annualised_pct", "max_drawdown_pct", "peak_date",
                             "trough_date"}));
    const QJsonObject lump = o["lump_sum"].toObject();
    EXPECT_EQ(lump["first_date"].toString(), "2020-01-01");
    EXPECT_TRUE(lump["days"].isDouble());
    EXPECT_EQ(lump["days"].toInt(), 366);
    EXPECT_EQ(lump["profit"].toDouble(), 192.21);

    // One day: no period, no rate, no fall.
    LedgerModel one;
    test::AddDays(one, {{"1.0000"}});
    Recalculate(one, settings, Mode::Theory);
    const QJsonObject single =
        BacktestReportJson(*BuildBacktestReport(one, settings, Mode::Theory));
    EXPECT_TRUE(single["plan"].toObject()["xirr_pct"].isNull());
    EXPECT_TRUE(single["fund"].toObject()["annualised_pct"].isNull());
    EXPECT_TRUE(single["fund"].toObject()["peak_date"].isNull());
    EXPECT_FALSE(BuildBacktestReport(LedgerModel(), settings, Mode::Theory).has_value());
}

TEST_F(HandLedger, TableColumnsLineUp) {
    const QStringList lines = BacktestReportTable(*report).split(u'\n');
    // The strategy block: figures are right-aligned, so every line of it ends
    // in the same terminal column, Chinese captions counting two.
    const int width = DisplayWidth(lines[0]);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("一次性买入")));
    for (int i = 1; i < 21; ++i) EXPECT_EQ(DisplayWidth(lines[i]), width) << lines[i].toStdString();
    EXPECT_TRUE(lines[14].startsWith(QStringLiteral("净盈亏")));
    EXPECT_TRUE(lines[14].contains(QStringLiteral("192.21")));
}

// Several sign changes can give several rates: the one nearest 0 is kept and
// marked as not the only one.
TEST(XirrTest, SeveralRatesAreMarked) {
    struct Case {
        const char* name;
        std::vector<CashFlow> flows;
        double rate;
        bool unique;
    };
    const Case cases[] = {
        // -100 + 230 / y - 132 / y^2 = 0 for y = 1.1 and y = 1.2.
        {"two roots",
         {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, 230), Flow(2023, 1, 1, -132)},
         0.10,
         false},
        {"same sign changes, one root",
         {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, 110)},
         0.10,
         true},
        // However small the last payment, it adds a rate near -100 %
        // (-100 y^2 + 120 y - 1 = 0 for y = 1.19 and y = 0.0084).
        {"a small last payment",
         {Flow(2021, 1, 1, -100), Flow(2022, 1, 1, 120), Flow(2023, 1, 1, -1)},
         0.1916,
         false},
        // A root far from the first: -99 % and +10 % (nearest 0 wins).
        {"roots far apart",
         {Flow(2021, 1, 1, -1), Flow(2022, 1, 1, 101.1), Flow(2023, 1, 1, -110)},
         0.10,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const XirrSolution x = SolveXirr(c.flows);
        ASSERT_TRUE(x.rate.has_value());
        EXPECT_NEAR(*x.rate, c.rate, 0.005);
        EXPECT_EQ(x.unique, c.unique);
        EXPECT_EQ(Xirr(c.flows), x.rate);
    }
    EXPECT_TRUE(SolveXirr({}).unique);
}

// Figures that must never mislead, on ledgers that provoke them.
TEST(BacktestReportFiguresTest, NoExplosionsNoDatesWithoutPurchases) {
    PlanSettings settings;
    struct Case {
        const char* name;
        std::vector<const char*> navs, amounts, redeemed;
        Mode mode;
    };
    const Case cases[] = {
        // Redeeming almost everything after the price doubled: the money
        // still invested turns negative, where the ledger's return column
        // divides by it.
        {"money invested turns negative",
         {"1.0000", "2.0000", "1.8000", "1.9000"},
         {"1000", "", "", ""},
         {"", "900", "", ""},
         Mode::Fact},
        {"never buys", {"1.0000", "1.1000", "0.9000"}, {"", "", ""}, {"", "", ""}, Mode::Fact},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LedgerModel ledger;
        for (size_t k = 0; k < c.navs.size(); ++k) {
            const int row = static_cast<int>(k) + 1;
            ledger.AddRow(QString::number(row));
            ledger.SetCell(row, Column::Date, QStringLiteral("2020/1/%1").arg(row));
            ledger.SetCell(row, Column::NetValue, QString::fromLatin1(c.navs[k]));
            ledger.SetCell(row, Column::PurchaseAmount, QString::fromLatin1(c.amounts[k]));
            ledger.SetCell(row, Column::RedeemShares, QString::fromLatin1(c.redeemed[k]));
        }
        Recalculate(ledger, settings, c.mode);
        const std::optional<BacktestReport> report = BuildBacktestReport(ledger, settings, c.mode);
        ASSERT_TRUE(report.has_value());
        const StrategyFigures& plan = report->plan;
        const QJsonObject json = BacktestReportJson(*report)["plan"].toObject();
        if (plan.purchases == 0) {
            EXPECT_FALSE(plan.maxCapitalDate.isValid());
            EXPECT_FALSE(plan.worstProfitDate.isValid());
            EXPECT_FALSE(plan.worstReturnPct.has_value());
            EXPECT_TRUE(json["max_capital_date"].isNull());
            EXPECT_TRUE(json["worst_return_pct"].isNull());
            const QStringList dates = BacktestReportCells(*report).strategies[11];
            // Nor do the alternatives, which invest the plan's highest capital.
            EXPECT_EQ(dates, QStringList({"最高占用日期", "—", "—", "—"}));
            continue;
        }
        ASSERT_LT(ReadNumber(ledger.Cell(4, Column::NetInvested)), 0);
        // Worst loss over the highest capital, the base of 占用资金收益率.
        ASSERT_TRUE(plan.worstReturnPct.has_value());
        EXPECT_EQ(*plan.worstReturnPct, Round(plan.worstProfit / plan.maxCapital * 100, 2));
        EXPECT_GT(*plan.worstReturnPct, -100);
        EXPECT_EQ(plan.worstReturnDate, plan.worstProfitDate);
        EXPECT_EQ(json["worst_return_pct"].toDouble(), *plan.worstReturnPct);
    }
}

// Beyond what an amount or a percent can sensibly show: "溢出" in the texts,
// the number itself in JSON, never NaN or infinity.
TEST(BacktestReportFiguresTest, HugeFiguresReadAsOverflow) {
    const struct {
        std::optional<double> value;
        const char* text;
    } figures[] = {{999999999999.99, "999999999999.99"},
                   {1e12, "溢出"},
                   {-1e12, "溢出"},
                   {3.7e210, "溢出"},
                   {std::nullopt, "—"},
                   {NAN, "—"},
                   {INFINITY, "—"},
                   {-0.004, "0.00"}};
    for (const auto& f : figures) {
        EXPECT_EQ(ReportFigureText(f.value), QString::fromUtf8(f.text));
    }
    BacktestReport report;
    report.plan.maxCapital = 3.166354e38;
    report.plan.finalValue = INFINITY;
    report.plan.profit = NAN;
    report.plan.xirrPct = 3.7e210;
    report.plan.xirrUnique = false;
    const QByteArray text = BacktestReportJsonText(report);
    EXPECT_FALSE(text.contains("nan") || text.contains("inf")) << text.constData();
    const QJsonObject plan = QJsonDocument::fromJson(text).object()["plan"].toObject();
    EXPECT_EQ(plan["max_capital"].toDouble(), 3.166354e38);
    EXPECT_EQ(plan["xirr_pct"].toDouble(), 3.7e210);
    EXPECT_FALSE(plan["xirr_unique"].toBool(true));
    EXPECT_TRUE(plan["final_value"].isNull());
    const BacktestReportRows cells = BacktestReportCells(report);
    EXPECT_EQ(cells.strategies[10][1], "溢出");
    EXPECT_EQ(cells.strategies[15][1], "溢出（多解）");
}
