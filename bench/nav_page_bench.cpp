// Parsing the provider's NAV-history page of N days.

#include <benchmark/benchmark.h>

#include <QDate>
#include <QString>
#include <cmath>

#include "core/marketdata/nav_history.h"

using namespace tovira;

namespace {

QString Page(int days) {
    QString rows;
    rows.reserve(days * 200);
    const QDate first(1950, 1, 2);
    for (int i = days - 1; i >= 0; --i) {  // newest first
        const double nav = 1.0 + 0.3 * std::sin(i * 0.01);
        rows += QStringLiteral(
                    "<tr><td>%1</td><td class='tor bold'>%2</td><td class='tor bold'>%2</td>"
                    "<td class='tor bold red'>0.12%</td><td>开放申购</td><td>开放赎回</td>"
                    "<td class='red unbold'></td></tr>")
                    .arg(first.addDays(i).toString(QStringLiteral("yyyy-MM-dd")))
                    .arg(nav, 0, 'f', 4);
    }
    return QStringLiteral(
               "var apidata={ content:\"<table class='w782 comm lsjz'><thead><tr><th "
               "class='first'>净值日期</th><th>单位净值</th><th>累计净值</th><th>日增长率</th><th>"
               "申购状态</th><th>赎回状态</th><th class='tor "
               "last'>分红送配</th></tr></thead><tbody>") +
           rows + QStringLiteral("</tbody></table>\",records:%1,pages:1,curpage:1};").arg(days);
}

void BM_ParseNavPage(benchmark::State& state) {
    const QString page = Page(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bool complete = false;
        benchmark::DoNotOptimize(ParseNavHistory(page, &complete));
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The JSON endpoint's answer of N days in one page (the provider serves 20;
// the cost per row is what a long download adds up).
QString ApiPage(int days) {
    QString rows;
    rows.reserve(days * 260);
    const QDate first(1950, 1, 2);
    for (int i = days - 1; i >= 0; --i) {  // newest first
        const double nav = 1.0 + 0.3 * std::sin(i * 0.01);
        if (i != days - 1) rows += QLatin1Char(',');
        rows += QStringLiteral(
                    "{\"FSRQ\":\"%1\",\"DWJZ\":\"%2\",\"LJJZ\":\"%2\",\"SDATE\":null,"
                    "\"ACTUALSYI\":\"\",\"NAVTYPE\":\"1\",\"JZZZL\":\"0.12\",\"SGZT\":\"开放申购\","
                    "\"SHZT\":\"开放赎回\",\"FHFCZ\":\"\",\"FHFCZ10\":null,\"FHFCBZ\":\"\","
                    "\"DTYPE\":null,\"FHSP\":\"\"}")
                    .arg(first.addDays(i).toString(QStringLiteral("yyyy-MM-dd")))
                    .arg(nav, 0, 'f', 4);
    }
    return QStringLiteral("{\"Data\":{\"LSJZList\":[") + rows +
           QStringLiteral(
               "],\"FundType\":\"001\",\"SYType\":null},\"ErrCode\":0,"
               "\"TotalCount\":%1}")
               .arg(days);
}

void BM_ParseNavApiPage(benchmark::State& state) {
    const QString page = ApiPage(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const NavPage parsed = ParseNavApiPage(page);
        if (!parsed.complete) state.SkipWithError("page not taken");
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ParseNavApiPage)
    ->Arg(20)
    ->Arg(250)
    ->Arg(2500)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseNavPage)->Arg(250)->Arg(2500)->Arg(32767)->Unit(benchmark::kMillisecond);
