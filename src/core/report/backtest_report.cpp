#include "core/report/backtest_report.h"

#include <QLocale>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "core/common/ledger_date.h"
#include "core/common/numbers.h"

namespace tovira {
namespace {

template <typename Source>
std::vector<QDate> ReadDates(const Source& ledger) {
    std::vector<QDate> dates;
    dates.reserve(static_cast<size_t>(ledger.LastRow()));
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        dates.push_back(ReadLedgerDate(ledger.Text(row, Column::Date)).value_or(QDate()));
    }
    return dates;
}

// The fee factors of the pass, narrowed the same way.
struct Factors {
    float purchase = 0;
    float redeem = 0;
    bool reinvestDividends = false;
    explicit Factors(const PlanSettings& s)
        : reinvestDividends(s.Checked(Switch::ReinvestDividends)) {
        Assign(purchase, 1 + s.Number(Field::PurchaseFeePct) / 100);
        Assign(redeem, 1 - s.Number(Field::RedeemFeePct) / 100);
    }
};

std::optional<double> Percent(std::optional<double> fraction) {
    if (!fraction) return std::nullopt;
    const double pct = Round(*fraction * 100, 2);
    if (!std::isfinite(pct)) return std::nullopt;
    return pct;
}

// Walks one recalculated ledger: the strategy's figures and, when asked, its
// cash flows.
template <typename Source>
StrategyFigures Measure(const Source& ledger, const std::vector<QDate>& dates,
                        const Factors& factors, std::vector<CashFlow>* flowsOut) {
    StrategyFigures s;
    const int n = ledger.LastRow();
    if (n == 0) return s;
    std::vector<CashFlow> flows;
    flows.reserve(static_cast<size_t>(n) + 1);
    s.profitByRow.reserve(static_cast<size_t>(n));
    s.firstDate = dates.front();
    s.lastDate = dates.back();
    if (s.firstDate.isValid() && s.lastDate.isValid()) s.days = s.firstDate.daysTo(s.lastDate);

    const QStringView conversionMarker(kConversionMarker);
    const QStringView dividendMarker(kDividendMarker);
    const double pf = factors.purchase;
    double prevTT = 0;
    float cash = 0;  // cash per share of the latest dividend row, as the pass keeps it
    double paidIn = 0, received = 0, dividends = 0, fees = 0;
    for (int row = 1; row <= n; ++row) {
        const QDate& date = dates[static_cast<size_t>(row - 1)];
        const double amount = ledger.Number(row, Column::PurchaseAmount);
        const double tt = ledger.Number(row, Column::NetInvested);
        const double profit = ledger.Number(row, Column::Profit);
        if (amount != 0) {
            ++s.purchases;
            paidIn += amount;
            fees += amount - amount / pf;
        }
        // Row 1's redemption is never booked, so it moves no money.
        if (row > 1) {
            const double shares = ledger.Number(row, Column::RedeemShares);
            if (shares != 0) {
                const double proceeds = ledger.Number(row, Column::RedeemAmount);
                ++s.redemptions;
                received += proceeds;
                fees += ledger.Number(row, Column::NetValue) * shares - proceeds;
            }
            const QStringView action = ledger.Text(row, Column::DividendAction);
            if (!action.isEmpty() && action.contains(dividendMarker)) {
                const bool conversion = action.contains(conversionMarker);
                if (!conversion) {
                    Assign(cash, ReadNumber(action.mid(
                                     std::min<qsizetype>(dividendMarker.size(), action.size()))));
                }
                const double paid = cash * ledger.Number(row - 1, Column::HeldShares);
                if (!factors.reinvestDividends) {
                    dividends += paid;
                } else if (!conversion) {
                    fees += paid - paid / pf;  // the reinvested cash pays the purchase fee
                }
            }
        }
        flows.push_back({date, -(tt - prevTT)});
        if (row == 1 || tt > s.maxCapital) {
            s.maxCapital = tt;
            s.maxCapitalDate = date;
        }
        if (row == 1 || profit < s.worstProfit) {
            s.worstProfit = profit;
            s.worstProfitDate = date;
        }
        s.profitByRow.push_back(profit);
        prevTT = tt;
    }
    s.finalValue = ledger.Number(n, Column::MarketValue);
    s.profit = s.profitByRow.back();
    flows.push_back({dates.back(), s.finalValue * static_cast<double>(factors.redeem)});
    s.paidIn = Round(paidIn, 2);
    s.received = Round(received, 2);
    s.dividendsReceived = Round(dividends, 2);
    s.fees = Round(fees, 2);
    s.exitFee = Round(s.finalValue - flows.back().amount, 2);
    if (s.maxCapital > 0) {
        s.returnOnCapitalPct = Percent(s.profit / s.maxCapital);
        s.worstReturnPct = Percent(s.worstProfit / s.maxCapital);
    }
    s.worstReturnDate = s.worstProfitDate;
    // Without a purchase there is no day of highest capital or worst loss:
    // every row ties at nothing.
    if (s.purchases == 0) {
        s.maxCapitalDate = QDate();
        s.worstProfitDate = QDate();
        s.worstReturnDate = QDate();
    }
    const XirrSolution xirr = SolveXirr(flows);
    s.xirrPct = Percent(xirr.rate);
    s.xirrUnique = !s.xirrPct || xirr.unique;
    if (flowsOut) *flowsOut = std::move(flows);
    return s;
}

template <typename Source>
FundFigures MeasureFund(const Source& ledger, const std::vector<QDate>& dates,
                        std::optional<qint64> days) {
    FundFigures f;
    const int n = ledger.LastRow();
    double peak = 0;
    QDate peakDate;
    for (int row = 1; row <= n; ++row) {
        const QDate& date = dates[static_cast<size_t>(row - 1)];
        const double value = 1 + ledger.Number(row, Column::CumulativeChange) / 100;
        if (row == 1 || value > peak) {
            peak = value;
            peakDate = date;
        } else if (peak > 0) {
            const double fall = (peak - value) / peak * 100;
            if (fall > f.maxDrawdownPct) {
                f.maxDrawdownPct = fall;
                f.peakDate = peakDate;
                f.troughDate = date;
            }
        }
    }
    f.maxDrawdownPct = Round(f.maxDrawdownPct, 2);
    f.changePct = ledger.Number(n, Column::CumulativeChange);
    const double growth = 1 + f.changePct / 100;
    if (days && *days > 0 && growth > 0) {
        f.annualisedPct = Percent(std::pow(growth, 365.0 / static_cast<double>(*days)) - 1);
    }
    return f;
}

// Fills the empty ledger `to` with the input cells of `from` (typed amounts
// aside), ready for typed amounts and a 实际操作 pass.
void CopyInputs(const LedgerModel& from, LedgerModel& to) {
    const int n = from.LastRow();
    BulkUpdate bulk(to);
    to.ReserveRows(n);
    for (int row = 1; row <= n; ++row) {
        to.AddRow(from.Cell(row, Column::ID));
        // The daily and cumulative changes do not depend on what is bought:
        // taking the plan's texts along spares the passes writing them anew.
        for (Column key :
             {Column::Date, Column::NetValue, Column::DailyChange, Column::CumulativeChange,
              Column::PurchaseStatus, Column::RedeemStatus, Column::DividendAction}) {
            to.SetCell(row, key, from.Cell(row, key));
        }
    }
}

// Sets every row's typed purchase amount (amounts[row - 1], empty texts for
// none) and books them. The copy never redeems: its RedeemShares cells are
// empty or the 0 an earlier 实际操作 pass wrote back.
StrategyFigures RunBaseline(LedgerModel& copy, const std::vector<QString>& amounts,
                            const PlanSettings& settings, const std::vector<QDate>& dates,
                            const Factors& factors) {
    {
        BulkUpdate bulk(copy);
        const QString zero = QStringLiteral("0");
        for (int row = 1; row <= copy.LastRow(); ++row) {
            const QString& amount = amounts[static_cast<size_t>(row - 1)];
            const QString& typed = copy.Cell(row, Column::PurchaseAmount);
            // Empty and "0" both book nothing: leave such cells alone.
            if (amount.isEmpty() && (typed.isEmpty() || typed == zero)) continue;
            copy.SetCell(row, Column::PurchaseAmount, amount.isEmpty() ? zero : amount);
        }
    }
    Recalculate(copy, settings, Mode::Fact);
    return Measure(LedgerCells{copy}, dates, factors, nullptr);
}

// Scaled present value at x = ln(1 + r): the sum divided by its largest
// discount factor, so that no term overflows; same sign and roots.
struct PresentValue {
    std::vector<double> amounts;
    std::vector<double> years;
    double tMin = 0, tMax = 0;
    double operator()(double x) const {
        const double m = std::max(-x * tMin, -x * tMax);
        double sum = 0;
        for (size_t k = 0; k < amounts.size(); ++k) sum += amounts[k] * std::exp(-x * years[k] - m);
        return sum;
    }
};

// How often the present value changes sign over the rates Xirr searches,
// on a grid that starts at steps of 0.001 in x = ln(1 + r) around 0 and
// grows by 5 % a step. Stops at the first value that is not finite.
int CountSignChanges(const PresentValue& pv) {
    constexpr double kLowest = -40, kHighest = 700;
    int changes = 0;
    int sign = 0;  // of the last non-zero value, walking from kLowest upwards
    auto visit = [&](double x) {
        const double v = pv(x);
        if (!std::isfinite(v)) return false;
        const int s = v > 0 ? 1 : v < 0 ? -1 : 0;
        if (s != 0) {
            if (sign != 0 && s != sign) ++changes;
            sign = s;
        }
        return true;
    };
    std::vector<double> below;
    for (double step = 0.001; - step > kLowest; step *= 1.05) below.push_back(-step);
    below.push_back(kLowest);
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        if (!visit(*it)) {
            sign = 0;  // nothing beyond this point is compared with it
            changes = 0;
        }
    }
    if (!visit(0)) return changes;
    for (double step = 0.001; step < kHighest; step *= 1.05) {
        if (!visit(step)) return changes;
    }
    visit(kHighest);
    return changes;
}

// Brent's method on a bracket [a, b] with f(a), f(b) of opposite signs.
template <typename F>
double Brent(const F& f, double a, double b, double fa, double fb, double tol) {
    double c = b, fc = fb, d = 0, e = 0;
    for (int iter = 0; iter < 300; ++iter) {
        if ((fb > 0 && fc > 0) || (fb < 0 && fc < 0)) {
            c = a;
            fc = fa;
            e = d = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 2 * DBL_EPSILON * std::fabs(b) + 0.5 * tol;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0) return b;
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2 * xm * s;
                q = 1 - s;
            } else {
                const double qa = fa / fc;
                const double r = fb / fc;
                p = s * (2 * xm * qa * (qa - r) - (b - a) * (r - 1));
                q = (qa - 1) * (r - 1) * (s - 1);
            }
            if (p > 0) q = -q;
            p = std::fabs(p);
            if (2 * p < std::min(3 * xm * q - std::fabs(tol1 * q), std::fabs(e * q))) {
                e = d;
                d = p / q;
            } else {
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : (xm > 0 ? tol1 : -tol1);
        fb = f(b);
    }
    return b;
}

}  // namespace

std::vector<CashFlow> PlanCashFlows(const LedgerModel& ledger, const PlanSettings& settings) {
    std::vector<CashFlow> flows;
    if (ledger.LastRow() == 0) return flows;
    Measure(LedgerCells{ledger}, ReadDates(LedgerCells{ledger}), Factors(settings), &flows);
    return flows;
}

namespace {

// The rate nearest 0; its uniqueness is looked at only when asked (the
// parameter search wants the rate alone, for a million cells).
XirrSolution Solve(const std::vector<CashFlow>& flows, bool checkUnique) {
    XirrSolution none;
    PresentValue pv;
    QDate origin;
    bool paidIn = false, takenOut = false, twoDates = false;
    for (const CashFlow& f : flows) {
        if (f.amount == 0) continue;
        if (!f.date.isValid() || !std::isfinite(f.amount)) return none;
        if (!origin.isValid()) origin = f.date;
        const double t = static_cast<double>(origin.daysTo(f.date)) / 365.0;
        if (t != 0) twoDates = true;
        pv.amounts.push_back(f.amount);
        pv.years.push_back(t);
        (f.amount < 0 ? paidIn : takenOut) = true;
    }
    if (!paidIn || !takenOut || !twoDates) return none;
    pv.tMin = *std::min_element(pv.years.begin(), pv.years.end());
    pv.tMax = *std::max_element(pv.years.begin(), pv.years.end());

    // Look for the sign change nearest to a rate of 0, stepping outwards in
    // x = ln(1 + r) by growing steps: down to r = -100 % (x = -40) and up to
    // the largest rate a double holds in percent (x = 700).
    constexpr double kLowest = -40, kHighest = 700;
    const double f0 = pv(0);
    if (!std::isfinite(f0)) return none;
    if (f0 == 0) return {0.0, !checkUnique || CountSignChanges(pv) <= 1};
    double up = 0, fUp = f0, down = 0, fDown = f0;
    std::optional<std::pair<double, double>> bracket;
    double fa = 0, fb = 0;
    for (double step = 0.01; !bracket && (up < kHighest || down > kLowest); step *= 1.4) {
        if (up < kHighest) {
            const double next = std::min(kHighest, step);
            const double fNext = pv(next);
            if (!std::isfinite(fNext)) return none;
            if ((fUp < 0) != (fNext < 0) || fNext == 0) {
                bracket = {up, next};
                fa = fUp;
                fb = fNext;
                break;
            }
            up = next;
            fUp = fNext;
        }
        if (down > kLowest) {
            const double next = std::max(kLowest, -step);
            const double fNext = pv(next);
            if (!std::isfinite(fNext)) return none;
            if ((fDown < 0) != (fNext < 0) || fNext == 0) {
                bracket = {next, down};
                fa = fNext;
                fb = fDown;
                break;
            }
            down = next;
            fDown = fNext;
        }
    }
    if (!bracket) return none;
    const auto [a, b] = *bracket;
    // 1e-10 on r = e^x - 1 asks for 1e-10 / e^x on x.
    const double tol = 1e-10 / std::max(1.0, std::exp(b));
    const double x = fb == 0 ? b : fa == 0 ? a : Brent(pv, a, b, fa, fb, tol);
    const double r = std::expm1(x);
    if (!std::isfinite(r)) return none;
    return {r, !checkUnique || CountSignChanges(pv) <= 1};
}

}  // namespace

std::optional<double> Xirr(const std::vector<CashFlow>& flows) { return Solve(flows, false).rate; }

XirrSolution SolveXirr(const std::vector<CashFlow>& flows) { return Solve(flows, true); }

std::optional<StrategyFigures> PlanFiguresOnly(const LedgerModel& ledger,
                                               const PlanSettings& settings) {
    if (ledger.LastRow() == 0) return std::nullopt;
    return Measure(LedgerCells{ledger}, ReadDates(LedgerCells{ledger}), Factors(settings), nullptr);
}

namespace {

// The report of a recalculated plan. runBaseline(amounts, dates, factors)
// books one typed purchase amount per row (an empty text for none) in
// 实际操作 over the plan's input cells and measures the result.
template <typename Source, typename RunBaselineFn>
BacktestReport BuildReport(const Source& ledger, const PlanSettings& settings, Mode mode,
                           RunBaselineFn runBaseline) {
    const int n = ledger.LastRow();
    BacktestReport report;
    report.mode = mode;
    report.dates = ReadDates(ledger);
    const Factors factors(settings);
    report.plan = Measure(ledger, report.dates, factors, nullptr);
    report.fund = MeasureFund(ledger, report.dates, report.plan.days);

    // Both alternatives invest the plan's highest capital employed.
    const double capital = report.plan.maxCapital > 0 ? report.plan.maxCapital : 0;
    std::vector<QString> amounts(static_cast<size_t>(n));
    if (capital > 0) amounts[0] = QString::number(capital, 'g', QLocale::FloatingPointShortest);
    report.lumpSum = runBaseline(amounts, report.dates, factors);

    // The first trading row of every calendar month.
    std::vector<int> firstRows;
    QSet<int> seen;
    for (int row = 1; row <= n; ++row) {
        const QDate& d = report.dates[static_cast<size_t>(row - 1)];
        if (!d.isValid()) continue;
        const int month = d.year() * 12 + d.month();
        if (seen.contains(month)) continue;
        seen.insert(month);
        firstRows.push_back(row);
    }
    report.months = static_cast<int>(firstRows.size());
    if (report.months > 0) report.monthlyAmount = Round(capital / report.months, 2);
    std::fill(amounts.begin(), amounts.end(), QString());
    if (report.monthlyAmount > 0) {
        const QString text = QString::number(report.monthlyAmount, 'f', 2);
        for (int row : firstRows) amounts[static_cast<size_t>(row - 1)] = text;
    }
    report.monthly = runBaseline(amounts, report.dates, factors);
    return report;
}

}  // namespace

std::optional<BacktestReport> BuildBacktestReport(const LedgerModel& ledger,
                                                  const PlanSettings& settings, Mode mode) {
    if (ledger.LastRow() == 0) return std::nullopt;
    // One copy serves both alternatives, one after the other.
    LedgerModel copy;
    CopyInputs(ledger, copy);
    return BuildReport(LedgerCells{ledger}, settings, mode,
                       [&](const std::vector<QString>& amounts, const std::vector<QDate>& dates,
                           const Factors& factors) {
                           return RunBaseline(copy, amounts, settings, dates, factors);
                       });
}

std::optional<BacktestReport> BuildBacktestReport(const FigureTable& table,
                                                  const PlanSettings& settings) {
    if (table.LastRow() == 0 || table.figures.size() != table.rows.size()) return std::nullopt;
    // The alternatives' pass reads the plan's input with typed amounts, and
    // row 1's change as the plan's ledger shows it.
    LedgerInput input = table.Input();
    input.mode = Mode::Fact;
    input.firstIncrease = 0;
    Assign(input.firstIncrease, AsShown(table.figures.front().increase));
    std::vector<RowFigures> figures;
    return BuildReport(table.View(), settings, table.mode,
                       [&](const std::vector<QString>& amounts, const std::vector<QDate>& dates,
                           const Factors& factors) {
                           for (size_t k = 0; k < input.rows.size(); ++k) {
                               RowInput& row = input.rows[k];
                               row.typedPurchase = 0;
                               row.typedRedeem = 0;
                               if (!amounts[k].isEmpty()) {
                                   Assign(row.typedPurchase, ReadNumber(amounts[k]));
                               }
                           }
                           ComputeFigures(input, settings, figures);
                           return Measure(FigureView(table.texts, table.rows, figures), dates,
                                          factors, nullptr);
                       });
}

}  // namespace tovira
