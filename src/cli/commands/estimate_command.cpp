// tovira-cli estimate: a provider's intraday estimate of the fund's NAV.

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>

#include "cli/commands/command.h"
#include "cli/commands/network.h"
#include "core/common/messages.h"
#include "core/common/random_number.h"
#include "core/marketdata/estimate.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

std::optional<EstimateProvider> ProviderByOption(const QString& name) {
    if (name.isNull() || name == QStringLiteral("tiantian")) return EstimateProvider::Tiantian;
    if (name == QStringLiteral("howbuy")) return EstimateProvider::Howbuy;
    if (name == QStringLiteral("10jqka")) return EstimateProvider::Jqka;
    return std::nullopt;
}

int RunEstimate(const CommandRun& run) {
    const std::optional<EstimateProvider> provider =
        ProviderByOption(run.Value(QStringLiteral("provider")));
    if (run.words.size() != 1 || !provider) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString code = run.words[0];
    if (!IsFundCode(code)) {
        run.err << QString::fromUtf8(kMsgBadFundCode) << Qt::endl;
        return kStatusUsage;
    }
    Network net(run.Folder());
    const QString url = EstimateUrl(net.config, *provider, code, [] {
        return static_cast<long long>(RandomInteger(100000000, 999999999));
    });
    const HttpResponse response =
        Wait<HttpResponse>([&](auto done) { net.http.Get(QUrl(url, QUrl::TolerantMode), done); });
    const QDateTime fetched = QDateTime::currentDateTime();
    // An error page is no estimate, whatever figures it holds.
    if (!response.ok || response.status < 200 || response.status > 299) {
        run.err << QString::fromUtf8(response.timedOut ? kMsgEstimateTimedOut : kMsgEstimateFailed)
                << Qt::endl;
        return kStatusNetwork;
    }
    // The provider answered, but with no estimate of this fund today.
    const std::optional<Estimate> estimate = ParseEstimate(*provider, response.text);
    if (!estimate) {
        run.err << QString::fromUtf8(kMsgEstimateFailed) << Qt::endl;
        return kStatusNothing;
    }
    // The script provider tells when it estimated; the others are as of the fetch.
    static const QRegularExpression estimateTime(QStringLiteral("\"gztime\"\\s*:\\s*\"([^\"]+)\""));
    const QRegularExpressionMatch time = estimateTime.match(response.text);
    QTextStream& out = run.out;
    out << ProviderName(*provider) << ' ' << code << '\n';
    out << QStringLiteral("估值：") << estimate->value << '\n';
    out << QStringLiteral("涨幅：") << estimate->change << '\n';
    if (estimate->previousNav)
        out << QStringLiteral("上一净值：") << *estimate->previousNav << '\n';
    out << QStringLiteral("时间：")
        << (time.hasMatch() ? time.captured(1)
                            : fetched.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        << Qt::endl;
    return kStatusDone;
}

}  // namespace

Command EstimateCommand() {
    return {QStringLiteral("estimate"),
            QStringLiteral("取一家估值网站对基金今日净值的估值"),
            QStringLiteral("  tovira-cli estimate CODE [--provider tiantian|howbuy|10jqka]\n"),
            CommandGroup::MarketData,
            {{QStringLiteral("provider"), QStringLiteral("tiantian|howbuy|10jqka"),
              QStringLiteral("估值网站（默认 tiantian）")}},
            RunEstimate};
}

}  // namespace tovira
