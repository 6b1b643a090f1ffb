// tovira-cli estimate: today's estimate of the fund's NAV from one source or
// from 自动's chain of them.

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "cli/commands/command.h"
#include "cli/commands/network.h"
#include "core/common/beijing_time.h"
#include "core/common/messages.h"
#include "core/common/numbers.h"
#include "core/marketdata/estimate_fetcher.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

// --provider: auto (the default) or a source's command-line name.
std::optional<EstimateChoice> ChoiceByOption(const QString& name) {
    if (name.isNull() || name == QStringLiteral("auto")) return EstimateChoice{};
    if (const std::optional<EstimateSource> s = EstimateSourceByCliName(name)) return *s;
    return std::nullopt;
}

QJsonValue Number(const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); }

void PrintJson(QTextStream& out, const QString& code, const SourceEstimate& e) {
    QJsonObject o;
    o.insert(QStringLiteral("code"), code);
    o.insert(QStringLiteral("source"), EstimateSourceCliName(e.source));
    o.insert(QStringLiteral("time"), e.time.toString(Qt::ISODate));
    o.insert(QStringLiteral("estimate"), e.nav);
    o.insert(QStringLiteral("change_pct"), e.changePct);
    o.insert(QStringLiteral("previous_nav"), Number(e.previousNav));
    if (e.source == EstimateSource::Holdings) {
        o.insert(QStringLiteral("holdings_date"),
                 e.holdingsDate ? QJsonValue(e.holdingsDate->toString(Qt::ISODate)) : QJsonValue());
        o.insert(QStringLiteral("stock_share_pct"), Number(e.stockSharePct));
        o.insert(QStringLiteral("quoted_weight_pct"), Number(e.quotedWeightPct));
    }
    out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
    out.flush();
}

void PrintText(QTextStream& out, const QString& code, const SourceEstimate& e) {
    out << EstimateSourceCaption(e.source) << ' ' << code << '\n';
    out << QStringLiteral("估值：") << FormatPattern(e.nav, u"0.#####") << '\n';
    out << QStringLiteral("涨幅：") << FormatPattern(e.changePct, u"0.00") << "%\n";
    if (e.previousNav)
        out << QStringLiteral("上一净值：") << FormatPattern(*e.previousNav, u"0.0000") << '\n';
    out << QStringLiteral("时间：") << e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << '\n';
    if (e.source == EstimateSource::Holdings) {
        if (e.holdingsDate)
            out << QStringLiteral("持仓报告期：") << e.holdingsDate->toString(Qt::ISODate) << '\n';
        if (e.stockSharePct)
            out << QStringLiteral("股票仓位：") << FormatPattern(*e.stockSharePct, u"0.00")
                << "%\n";
        if (e.quotedWeightPct)
            out << QStringLiteral("已报价权重：") << FormatPattern(*e.quotedWeightPct, u"0.00")
                << "%\n";
    }
    out.flush();
}

int RunEstimate(const CommandRun& run) {
    const std::optional<EstimateChoice> choice =
        ChoiceByOption(run.Value(QStringLiteral("provider")));
    if (run.words.size() != 1 || !choice) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString code = run.words[0];
    if (!IsFundCode(code)) {
        run.err << QString::fromUtf8(kMsgBadFundCode) << Qt::endl;
        return kStatusUsage;
    }
    const QString folder = run.Folder();
    Network net(folder);
    // Asked whenever run, in or out of a session; only an estimate made on
    // today's Beijing date counts.
    EstimateFetcher fetcher(net.http, net.config, folder);
    const EstimateRequest request{code, *choice, BeijingToday(), std::nullopt};
    const EstimateOutcome outcome =
        Wait<EstimateOutcome>([&](auto done) { fetcher.Fetch(request, done); });
    if (outcome.estimate) {
        if (run.Has(QStringLiteral("json")))
            PrintJson(run.out, code, *outcome.estimate);
        else
            PrintText(run.out, code, *outcome.estimate);
        return kStatusDone;
    }
    run.err << outcome.detail << '\n';
    if (outcome.stale) {
        run.err << QStringLiteral("最近的估值（不是今天的）：")
                << EstimateSourceCaption(outcome.stale->source) << ' '
                << FormatPattern(outcome.stale->nav, u"0.#####") << ' '
                << outcome.stale->time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << '\n';
    }
    run.err.flush();
    switch (outcome.failure) {
        case EstimateFailure::Network:
        case EstimateFailure::TimedOut:
        case EstimateFailure::Unreadable:
            return kStatusNetwork;
        default:
            return kStatusNothing;
    }
}

}  // namespace

Command EstimateCommand() {
    return {
        QStringLiteral("estimate"),
        QStringLiteral("取估值来源对基金今日净值的估值"),
        QStringLiteral("  tovira-cli estimate CODE "
                       "[--provider auto|tiantian|sina|10jqka|howbuy|holdings] [--json]\n"),
        CommandGroup::MarketData,
        {{QStringLiteral("provider"), QStringLiteral("auto|tiantian|sina|10jqka|howbuy|holdings"),
          QStringLiteral("估值来源（默认 auto：天天基金、新浪基金、爱基金、持仓估算依次尝试）")},
         {QStringLiteral("json"), QString(), QStringLiteral("以 JSON 输出")}},
        RunEstimate};
}

}  // namespace tovira
