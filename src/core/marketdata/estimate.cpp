#include "core/marketdata/estimate.h"

#include <QStringList>
#include <cmath>

#include "core/common/numbers.h"
#include "core/marketdata/config.h"

namespace tovira {
namespace {

const char16_t* const kProviderNames[] = {u"天天基金", u"好买基金", u"爱基金"};

// A number too large for a double cannot be shown as an estimate; reading it
// fails like a missing field.
std::optional<double> Finite(std::optional<double> v) {
    if (v && !std::isfinite(*v)) return std::nullopt;
    return v;
}

// A NAV is a positive figure: anything else (an error page's "width:100%",
// a reply without numbers) is no estimate and must not reach the ledger.
std::optional<double> Nav(std::optional<double> v) {
    v = Finite(v);
    if (v && !(*v > 0)) return std::nullopt;
    return v;
}

QString Percent(double change) { return FormatPattern(change, u"0.00") + QLatin1Char('%'); }

}  // namespace

QString ProviderName(EstimateProvider p) {
    return QString::fromUtf16(kProviderNames[static_cast<int>(p)]);
}

std::optional<EstimateProvider> ProviderByName(const QString& name) {
    for (EstimateProvider p :
         {EstimateProvider::Tiantian, EstimateProvider::Howbuy, EstimateProvider::Jqka}) {
        if (name == ProviderName(p)) return p;
    }
    return std::nullopt;
}

QString ScriptEstimateUrl(const QString& baseUrl, const QString& code, long long nineDigits) {
    return baseUrl + QStringLiteral("/js/") + code + QStringLiteral(".js?rt=144") +
           QString::number(nineDigits);
}

QString PageEstimateUrl(const QString& baseUrl, const QString& code) {
    return baseUrl + QStringLiteral("/fund/ajax/gmfund/valuation/valuationnav.htm?jjdm=") + code;
}

QString ApiEstimateUrl(const QString& baseUrl, const QString& code) {
    // The server answers through a fixed JSONP callback name.
    return baseUrl +
           QStringLiteral(
               "/?module=api&controller=index&action=real&datatype=jsonp"
               "&callback=jQuery18303425260568037629_1460010584121&codes=") +
           code;
}

QString EstimateUrl(const Config& config, EstimateProvider provider, const QString& code,
                    const std::function<long long()>& nineDigits) {
    switch (provider) {
        case EstimateProvider::Tiantian:
            return ScriptEstimateUrl(config.BaseUrl(Endpoint::EstimateTiantian), code,
                                     nineDigits());
        case EstimateProvider::Howbuy:
            return PageEstimateUrl(config.BaseUrl(Endpoint::EstimateHowbuy), code);
        case EstimateProvider::Jqka:
            return ApiEstimateUrl(config.BaseUrl(Endpoint::Estimate10jqka), code);
    }
    return {};
}

std::optional<double> ReadEstimateField(const QString& body, const QString& field) {
    const qsizetype at = body.indexOf(field);
    if (at < 0) return std::nullopt;
    // What follows is `":"value"`: skip the closing quote, the colon and the
    // opening quote.
    const QStringView rest = QStringView(body).mid(at + field.size());
    if (rest.size() < 3) return std::nullopt;
    // A value that its quote does not close was cut off ("1.0" of "1.0134"):
    // the figure it would read is not the provider's.
    const QStringView value = rest.mid(3);
    const qsizetype close = value.indexOf(u'"');
    if (close < 0) return std::nullopt;
    return ReadNumber(value.left(close));
}

bool IsClosedCall(const QString& body) {
    // "name({...});" as the provider sends it (or the bare object): it ends
    // with the call's parenthesis or the object's brace, and every brace
    // opened outside a string is closed. A connection that broke off leaves
    // a brace, a string or the call open.
    QStringView text = QStringView(body).trimmed();
    if (text.endsWith(u';')) text = text.chopped(1).trimmed();
    // A call ends with its parenthesis, a bare object with its brace.
    if (!text.endsWith(text.startsWith(u'{') ? u'}' : u')')) return false;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const QChar c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == u'\\') {
                escaped = true;
            } else if (c == u'"') {
                inString = false;
            }
        } else if (c == u'"') {
            inString = true;
        } else if (c == u'{') {
            ++depth;
        } else if (c == u'}' && --depth < 0) {
            return false;
        }
    }
    return depth == 0 && !inString;
}

std::optional<Estimate> ParseScriptEstimate(const QString& body) {
    if (!IsClosedCall(body)) return std::nullopt;
    // A fund the server has no estimate for answers "jsonpgz();".
    const std::optional<double> previous = Nav(ReadEstimateField(body, QStringLiteral("dwjz")));
    if (!previous) return std::nullopt;
    const std::optional<double> value = Nav(ReadEstimateField(body, QStringLiteral("gsz")));
    if (!value) return std::nullopt;
    const std::optional<double> change = Finite(ReadEstimateField(body, QStringLiteral("gszzl")));
    if (!change) return std::nullopt;
    return Estimate{FormatPattern(*previous, u"0.0000"), FormatPattern(*value, u"0.#####"),
                    Percent(*change)};
}

std::optional<Estimate> ParsePageEstimate(const QString& body) {
    // The fragment lists the estimated NAV as the text of its second element
    // and the change as the text right before the first "%".
    const qsizetype percent = body.indexOf(u'%');
    if (percent < 0) return std::nullopt;
    // The change's element must be closed: a fragment cut right after the
    // "%" may have lost the end of the figures before it as well.
    if (body.indexOf(QLatin1String("</"), percent) < 0) return std::nullopt;
    const QList<QStringView> pieces = QStringView(body).left(percent).split(u'>');
    if (pieces.size() < 3) return std::nullopt;
    const double value = ReadNumber(pieces[2]);
    const double change = ReadNumber(pieces.back());
    if (!Nav(value) || !std::isfinite(change)) return std::nullopt;
    return Estimate{std::nullopt, FormatPattern(value, u"0.####"), Percent(change)};
}

std::optional<Estimate> ParseApiEstimate(const QString& body) {
    if (!IsClosedCall(body)) return std::nullopt;
    const std::optional<double> pre = Nav(ReadEstimateField(body, QStringLiteral("pre")));
    if (!pre) return std::nullopt;
    const std::optional<double> value = Nav(ReadEstimateField(body, QStringLiteral("value")));
    if (!value) return std::nullopt;
    // The server sends no change of its own; it is worked out from the two.
    const double change = (*value / *pre - 1) * 100;
    if (!std::isfinite(change)) return std::nullopt;
    return Estimate{FormatPattern(*pre, u"0.0000"), FormatPattern(*value, u"0.#####"),
                    Percent(change)};
}

std::optional<Estimate> ParseEstimate(EstimateProvider p, const QString& body) {
    switch (p) {
        case EstimateProvider::Tiantian:
            return ParseScriptEstimate(body);
        case EstimateProvider::Howbuy:
            return ParsePageEstimate(body);
        case EstimateProvider::Jqka:
            return ParseApiEstimate(body);
    }
    return std::nullopt;
}

}  // namespace tovira
