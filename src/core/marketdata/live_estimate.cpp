#include "core/marketdata/live_estimate.h"

#include <iterator>

#include "core/common/gbk_codec.h"
#include "core/marketdata/http_client.h"

namespace tovira {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr EstimateSource kSources[] = {EstimateSource::Tiantian, EstimateSource::Sina,
                                       EstimateSource::Jqka, EstimateSource::Howbuy,
                                       EstimateSource::Holdings};
static_assert(std::size(kSources) == kEstimateSourceCount);

// The text between <title> and </title> (tags in any case), as it stands;
// empty without one.
QByteArray TitleOf(const QByteArray& body) {
    // Lowers ASCII letters only, so every other byte keeps its place.
    const QByteArray lower = body.toLower();
    const qsizetype open = lower.indexOf("<title");
    if (open < 0) return {};
    const qsizetype start = lower.indexOf('>', open);
    if (start < 0) return {};
    const qsizetype end = lower.indexOf("</title", start);
    if (end < 0) return {};
    return body.mid(start + 1, end - start - 1);
}

bool IsNotFoundAddress(const QUrl& url) {
    const QString path = url.path().toLower();
    return path.contains(QLatin1String("notfound")) || path.contains(QLatin1String("not_found")) ||
           path.contains(QLatin1String("404"));
}

}  // namespace

QString EstimateSourceCaption(EstimateSource s) {
    switch (s) {
        case EstimateSource::Tiantian:
            return U("天天基金");
        case EstimateSource::Sina:
            return U("新浪基金");
        case EstimateSource::Jqka:
            return U("爱基金");
        case EstimateSource::Howbuy:
            return U("好买基金");
        case EstimateSource::Holdings:
            return U("持仓估算");
    }
    return {};
}

QString EstimateSourceShortName(EstimateSource s) {
    switch (s) {
        case EstimateSource::Tiantian:
            return U("天天");
        case EstimateSource::Sina:
            return U("新浪");
        case EstimateSource::Jqka:
            return U("爱基金");
        case EstimateSource::Howbuy:
            return U("好买");
        case EstimateSource::Holdings:
            return U("持仓");
    }
    return {};
}

QString EstimateSourceCliName(EstimateSource s) {
    switch (s) {
        case EstimateSource::Tiantian:
            return QStringLiteral("tiantian");
        case EstimateSource::Sina:
            return QStringLiteral("sina");
        case EstimateSource::Jqka:
            return QStringLiteral("10jqka");
        case EstimateSource::Howbuy:
            return QStringLiteral("howbuy");
        case EstimateSource::Holdings:
            return QStringLiteral("holdings");
    }
    return {};
}

std::optional<EstimateSource> EstimateSourceByCliName(const QString& name) {
    for (EstimateSource s : kSources)
        if (EstimateSourceCliName(s) == name) return s;
    return std::nullopt;
}

QString EstimateFailureMessage(EstimateFailure f) {
    switch (f) {
        case EstimateFailure::Gone:
            return U("数据源已停止服务");
        case EstimateFailure::NoEstimate:
            return U("该数据源没有这只基金的估值");
        case EstimateFailure::NoQuotesYet:
            return U("持仓股票的今日行情不足");
        case EstimateFailure::Stale:
            return U("数据源的估值不是今天的");
        case EstimateFailure::Network:
            return U("连接数据源失败");
        case EstimateFailure::TimedOut:
            return U("数据源响应超时");
        case EstimateFailure::Unreadable:
            return U("估值数据不完整");
    }
    return {};
}

QString EstimateFailureText(const EstimateAttempt& attempt) {
    const QString message = EstimateFailureMessage(attempt.failure);
    if (attempt.detail.isEmpty()) return message;
    return message + U("（") + attempt.detail + U("）");
}

bool IsNotFoundPage(const QByteArray& body) {
    const QByteArray title = TitleOf(body);
    if (title.isEmpty()) return false;
    const QByteArray lower = title.toLower();
    if (lower.contains("404") || lower.contains("not found") || lower.contains("notfound"))
        return true;
    // The portal's pages are UTF-8; a GBK page is taken as well.
    const QString notFound = U("未找到");
    const std::optional<QByteArray> gbk = EncodeGbk(notFound);
    return title.contains(notFound.toUtf8()) || (gbk && !gbk->isEmpty() && title.contains(*gbk));
}

std::optional<EstimateAttempt> ClassifyAnswer(int status, bool redirected, const QUrl& finalUrl,
                                              const QByteArray& body) {
    if (redirected && IsNotFoundAddress(finalUrl))
        return EstimateAttempt::Failed(EstimateFailure::Gone,
                                       U("转向 ") + finalUrl.toDisplayString());
    if (IsNotFoundPage(body))
        return EstimateAttempt::Failed(EstimateFailure::Gone, U("页面未找到"));
    if (status < 200 || status > 299)
        return EstimateAttempt::Failed(EstimateFailure::Network,
                                       QStringLiteral("HTTP %1").arg(status));
    return std::nullopt;
}

std::optional<EstimateAttempt> ClassifyAnswer(const HttpResponse& response) {
    if (response.timedOut) return EstimateAttempt::Failed(EstimateFailure::TimedOut);
    // A redirect to another host is refused and never followed (the portal's
    // script sends one to its not-found page): where it pointed still tells.
    if (response.redirectRefused && IsNotFoundAddress(response.redirectedTo))
        return ClassifyAnswer(response.status, true, response.redirectedTo, response.body);
    if (!response.ok) return EstimateAttempt::Failed(EstimateFailure::Network, response.error);
    return ClassifyAnswer(response.status, !response.redirectedTo.isEmpty(), response.redirectedTo,
                          response.body);
}

}  // namespace tovira
