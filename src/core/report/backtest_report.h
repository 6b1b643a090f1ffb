#pragma once
// The back-test report: what the plan earned, against buying the same capital
// at once and against a monthly plan on the same history, plus the fund's own
// change over those days. Every figure is taken from the ledger's cells as the
// ledger shows them, so the report and the ledger never disagree. The two
// alternatives are booked as typed amounts (实际操作) on a copy of the ledger
// by the same recalculation.

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/engine/figure_table.h"
#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

// One money movement of the plan: paid in negative, taken out positive.
struct CashFlow {
    QDate date;  // invalid when the row's Date cell is no date
    double amount = 0;
};

// One flow per ledger row, in row order (the change of net money invested,
// negated), then the terminal flow on the last row's date: what the holdings
// would fetch after the redemption fee. Their sum is the last row's Profit
// up to rounding. Empty for an empty ledger.
std::vector<CashFlow> PlanCashFlows(const LedgerModel& ledger, const PlanSettings& settings);

// Annualised money-weighted return: the rate r (0.1 = 10 %) with
// sum(amount / (1 + r)^(days since the first flow's date / 365)) = 0, to
// 1e-10. None when no such rate exists or cannot be told: flows of one sign,
// fewer than two dates, a flow without a date, or no sign change between
// -100 % and the largest rate a double holds. Zero flows are ignored.
std::optional<double> Xirr(const std::vector<CashFlow>& flows);

// The rate Xirr finds, and whether it is the only one: flows whose sign
// changes several times can have several rates. The present value is looked
// at on a grid of rates between -100 % and the largest rate a double holds;
// more than one sign change on it makes the rate not unique. The rate is
// still the one nearest 0.
struct XirrSolution {
    std::optional<double> rate;
    bool unique = true;  // true when there is no rate
};
XirrSolution SolveXirr(const std::vector<CashFlow>& flows);

// The report's figures of one strategy. Absent figures (no date, a division
// by zero capital, no rate) are empty / invalid dates.
struct StrategyFigures {
    QDate firstDate;
    QDate lastDate;
    std::optional<qint64> days;
    int purchases = 0;                         // rows with a non-zero purchase amount
    double paidIn = 0;                         // sum of the purchase amounts
    int redemptions = 0;                       // rows 2..n with non-zero redeemed shares
    double received = 0;                       // sum of their redemption proceeds
    double dividendsReceived = 0;              // cash dividends paid out (not reinvested)
    double fees = 0;                           // purchase, reinvestment and redemption fees paid
    double exitFee = 0;                        // the redemption fee of selling the last holdings
    double maxCapital = 0;                     // highest net money invested (NetInvested)
    QDate maxCapitalDate;                      // invalid when the strategy never buys
    double finalValue = 0;                     // last MarketValue
    double profit = 0;                         // last Profit
    std::optional<double> returnOnCapitalPct;  // profit / maxCapital * 100
    std::optional<double> xirrPct;
    bool xirrUnique = true;  // false when the flows have other rates as well
    double worstProfit = 0;
    QDate worstProfitDate;  // invalid when the strategy never buys
    // worstProfit / maxCapital * 100: the worst paper loss on the same base as
    // returnOnCapitalPct (the ledger's ReturnPct explodes when the money
    // invested nears zero). Its date is worstProfitDate.
    std::optional<double> worstReturnPct;
    QDate worstReturnDate;
    std::vector<double> profitByRow;  // Profit of every row, for charts
};

// The fund over the ledger's days (cumulative change counts dividends and
// conversions).
struct FundFigures {
    double changePct = 0;  // last TTIncrease
    std::optional<double> annualisedPct;
    double maxDrawdownPct = 0;  // largest fall of (1 + TTIncrease/100) from its peak
    QDate peakDate;             // invalid when there is no fall
    QDate troughDate;
};

struct BacktestReport {
    Mode mode = Mode::Theory;  // the mode the plan's ledger was computed in
    std::vector<QDate> dates;  // the Date of every row
    StrategyFigures plan;
    StrategyFigures lumpSum;   // the plan's highest capital bought on row 1
    StrategyFigures monthly;   // equal amounts on each month's first row
    double monthlyAmount = 0;  // round(highest capital / months, 2)
    int months = 0;
    FundFigures fund;
};

// The report of a recalculated ledger; none for an empty ledger. The ledger
// is only read.
std::optional<BacktestReport> BuildBacktestReport(const LedgerModel& ledger,
                                                  const PlanSettings& settings, Mode mode);
// The same report from a plan's texts and the figures of its pass (in the
// table's mode), figure for figure; none without rows or figures.
std::optional<BacktestReport> BuildBacktestReport(const FigureTable& table,
                                                  const PlanSettings& settings);

// The plan's own figures alone, without the two alternatives' passes: cheap
// enough to follow every recalculation. None for an empty ledger.
std::optional<StrategyFigures> PlanFiguresOnly(const LedgerModel& ledger,
                                               const PlanSettings& settings);

// {"plan": S, "lump_sum": S, "monthly": S, "fund": F}: numbers as numbers
// (however large), dates as "YYYY-MM-DD", absent figures as null; never NaN
// or infinity.
QJsonObject BacktestReportJson(const BacktestReport& report);
QByteArray BacktestReportJsonText(const BacktestReport& report);

// The texts of the report's table: the header (项目 and the three
// strategies), one row per strategy figure (caption and three texts), then
// the fund's own figures (caption and one text). "—" for an absent figure,
// "溢出" for one too large to show (kOverflowFigure), "（多解）" after an XIRR
// that is not the only rate.
// A figure at least this large (in size) is no sensible amount or percent.
constexpr double kOverflowFigure = 1e12;
// The text of an amount or percent with two decimals: "—" when absent or not
// finite, "溢出" when at least kOverflowFigure in size.
QString ReportFigureText(std::optional<double> v);

struct BacktestReportRows {
    QStringList header;
    std::vector<QStringList> strategies;
    std::vector<QStringList> fund;
};
BacktestReportRows BacktestReportCells(const BacktestReport& report);

// The report as an aligned text table: one row per figure, one column per
// strategy (本计划, 一次性买入, 每月定投), then the fund's own figures.
// Lines end with "\n"; wide (CJK) characters count two columns.
QString BacktestReportTable(const BacktestReport& report);

}  // namespace tovira
