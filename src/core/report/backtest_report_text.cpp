// The back-test report's writers: the JSON document and the aligned text
// table, from the figures backtest_report.cpp computes.

#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <cmath>
#include <utility>

#include "core/common/numbers.h"
#include "core/common/text_table.h"
#include "core/report/backtest_report.h"

namespace tovira {
namespace {

QJsonValue DateValue(const QDate& d) {
    return d.isValid() ? QJsonValue(d.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

QJsonValue NumberValue(std::optional<double> v) {
    return v && std::isfinite(*v) ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QJsonObject StrategyJson(const StrategyFigures& s) {
    QJsonObject o;
    o.insert(QStringLiteral("first_date"), DateValue(s.firstDate));
    o.insert(QStringLiteral("last_date"), DateValue(s.lastDate));
    o.insert(QStringLiteral("days"),
             s.days ? QJsonValue(static_cast<qint64>(*s.days)) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("purchases"), s.purchases);
    o.insert(QStringLiteral("paid_in"), NumberValue(s.paidIn));
    o.insert(QStringLiteral("redemptions"), s.redemptions);
    o.insert(QStringLiteral("received"), NumberValue(s.received));
    o.insert(QStringLiteral("dividends_received"), NumberValue(s.dividendsReceived));
    o.insert(QStringLiteral("fees"), NumberValue(s.fees));
    o.insert(QStringLiteral("exit_fee"), NumberValue(s.exitFee));
    o.insert(QStringLiteral("max_capital"), NumberValue(s.maxCapital));
    o.insert(QStringLiteral("max_capital_date"), DateValue(s.maxCapitalDate));
    o.insert(QStringLiteral("final_value"), NumberValue(s.finalValue));
    o.insert(QStringLiteral("profit"), NumberValue(s.profit));
    o.insert(QStringLiteral("return_on_capital_pct"), NumberValue(s.returnOnCapitalPct));
    o.insert(QStringLiteral("xirr_pct"), NumberValue(s.xirrPct));
    o.insert(QStringLiteral("xirr_unique"),
             s.xirrPct ? QJsonValue(s.xirrUnique) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("worst_profit"), NumberValue(s.worstProfit));
    o.insert(QStringLiteral("worst_profit_date"), DateValue(s.worstProfitDate));
    o.insert(QStringLiteral("worst_return_pct"), NumberValue(s.worstReturnPct));
    o.insert(QStringLiteral("worst_return_date"), DateValue(s.worstReturnDate));
    return o;
}

}  // namespace

QJsonObject BacktestReportJson(const BacktestReport& report) {
    QJsonObject fund;
    fund.insert(QStringLiteral("change_pct"), NumberValue(report.fund.changePct));
    fund.insert(QStringLiteral("annualised_pct"), NumberValue(report.fund.annualisedPct));
    fund.insert(QStringLiteral("max_drawdown_pct"), NumberValue(report.fund.maxDrawdownPct));
    fund.insert(QStringLiteral("peak_date"), DateValue(report.fund.peakDate));
    fund.insert(QStringLiteral("trough_date"), DateValue(report.fund.troughDate));
    QJsonObject o;
    o.insert(QStringLiteral("plan"), StrategyJson(report.plan));
    o.insert(QStringLiteral("lump_sum"), StrategyJson(report.lumpSum));
    o.insert(QStringLiteral("monthly"), StrategyJson(report.monthly));
    o.insert(QStringLiteral("fund"), fund);
    return o;
}

QByteArray BacktestReportJsonText(const BacktestReport& report) {
    return QJsonDocument(BacktestReportJson(report)).toJson(QJsonDocument::Indented);
}

namespace {
const char16_t kNone[] = u"—";
}  // namespace

QString ReportFigureText(std::optional<double> v) {
    if (!v || !std::isfinite(*v)) return QString::fromUtf16(kNone);
    if (std::fabs(*v) >= kOverflowFigure) return QStringLiteral("溢出");
    return FormatPattern(*v, u"0.00");
}

namespace {

QString DateText(const QDate& d) {
    return d.isValid() ? d.toString(Qt::ISODate) : QString::fromUtf16(kNone);
}
QString MoneyText(std::optional<double> v) { return ReportFigureText(v); }
QString XirrText(const StrategyFigures& s) {
    QString text = ReportFigureText(s.xirrPct);
    if (s.xirrPct && !s.xirrUnique) text += QStringLiteral("（多解）");
    return text;
}

// One line of the table: a caption and the three strategies' texts.
struct Line {
    const char* caption;
    QString (*text)(const StrategyFigures&);
};

const Line kLines[] = {
    {"开始日期", [](const StrategyFigures& s) { return DateText(s.firstDate); }},
    {"结束日期", [](const StrategyFigures& s) { return DateText(s.lastDate); }},
    {"天数",
     [](const StrategyFigures& s) {
         return s.days ? QString::number(*s.days) : QString::fromUtf16(kNone);
     }},
    {"申购次数", [](const StrategyFigures& s) { return QString::number(s.purchases); }},
    {"申购金额", [](const StrategyFigures& s) { return MoneyText(s.paidIn); }},
    {"赎回次数", [](const StrategyFigures& s) { return QString::number(s.redemptions); }},
    {"赎回金额", [](const StrategyFigures& s) { return MoneyText(s.received); }},
    {"现金分红", [](const StrategyFigures& s) { return MoneyText(s.dividendsReceived); }},
    {"手续费", [](const StrategyFigures& s) { return MoneyText(s.fees); }},
    {"期末赎回费", [](const StrategyFigures& s) { return MoneyText(s.exitFee); }},
    {"最高占用资金", [](const StrategyFigures& s) { return MoneyText(s.maxCapital); }},
    {"最高占用日期", [](const StrategyFigures& s) { return DateText(s.maxCapitalDate); }},
    {"期末市值", [](const StrategyFigures& s) { return MoneyText(s.finalValue); }},
    {"净盈亏", [](const StrategyFigures& s) { return MoneyText(s.profit); }},
    {"占用资金收益率(%)", [](const StrategyFigures& s) { return MoneyText(s.returnOnCapitalPct); }},
    {"年化收益率XIRR(%)", XirrText},
    {"最大浮亏", [](const StrategyFigures& s) { return MoneyText(s.worstProfit); }},
    {"最大浮亏日期", [](const StrategyFigures& s) { return DateText(s.worstProfitDate); }},
    {"最低收益率(%)", [](const StrategyFigures& s) { return MoneyText(s.worstReturnPct); }},
    {"最低收益率日期", [](const StrategyFigures& s) { return DateText(s.worstReturnDate); }},
};

}  // namespace

BacktestReportRows BacktestReportCells(const BacktestReport& report) {
    BacktestReportRows cells;
    cells.header = {QStringLiteral("项目"), QStringLiteral("本计划"), QStringLiteral("一次性买入"),
                    QStringLiteral("每月定投")};
    for (const Line& line : kLines) {
        cells.strategies.push_back({QString::fromUtf8(line.caption), line.text(report.plan),
                                    line.text(report.lumpSum), line.text(report.monthly)});
    }
    cells.fund = {{QStringLiteral("基金累计涨幅(%)"), MoneyText(report.fund.changePct)},
                  {QStringLiteral("基金年化涨幅(%)"), MoneyText(report.fund.annualisedPct)},
                  {QStringLiteral("基金最大回撤(%)"), MoneyText(report.fund.maxDrawdownPct)},
                  {QStringLiteral("回撤开始日期"), DateText(report.fund.peakDate)},
                  {QStringLiteral("回撤最低日期"), DateText(report.fund.troughDate)}};
    return cells;
}

QString BacktestReportTable(const BacktestReport& report) {
    BacktestReportRows cells = BacktestReportCells(report);
    // Captions left-aligned, figures right-aligned; the fund's figures after
    // an empty line.
    TextTable table({TextTable::Align::Left, TextTable::Align::Right, TextTable::Align::Right,
                     TextTable::Align::Right});
    table.AddRow(std::move(cells.header));
    for (QStringList& r : cells.strategies) table.AddRow(std::move(r));
    table.AddBlankLine();
    for (QStringList& r : cells.fund) table.AddRow(std::move(r));
    return table.Text();
}

}  // namespace tovira
