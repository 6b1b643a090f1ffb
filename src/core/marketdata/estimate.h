#pragma once
// Intraday estimates of today's NAV from three providers: the request
// addresses and the reading of their replies.

#include <QString>
#include <functional>
#include <optional>

#include "core/common/messages.h"

namespace tovira {

class Config;

enum class EstimateProvider { Tiantian, Howbuy, Jqka };

// The entries of the provider list, in order: "天天基金", "好买基金", "爱基金".
QString ProviderName(EstimateProvider p);
std::optional<EstimateProvider> ProviderByName(const QString& name);

// baseUrl + "/js/" + code + ".js?rt=144" + nine digits
QString ScriptEstimateUrl(const QString& baseUrl, const QString& code, long long nineDigits);
// baseUrl + "/fund/ajax/gmfund/valuation/valuationnav.htm?jjdm=" + code
QString PageEstimateUrl(const QString& baseUrl, const QString& code);
// baseUrl + "/?module=api&controller=index&action=real&datatype=jsonp&callback=...&codes=" + code
QString ApiEstimateUrl(const QString& baseUrl, const QString& code);

// The address of a provider's estimate of the fund, on the server Config.ini
// names for it. The script provider's address ends in a cache-busting number
// of nine digits: nineDigits is asked for one only then.
QString EstimateUrl(const Config& config, EstimateProvider provider, const QString& code,
                    const std::function<long long()>& nineDigits);

// One estimate as the top bar shows it.
struct Estimate {
    std::optional<QString> previousNav;  // "0.0000"; none from the page provider
    QString value;                       // "0.#####" (page provider "0.####")
    QString change;                      // "0.00" + "%"
};

// The leading number of the text after the first occurrence of field in the
// body, its first three characters dropped, up to the quote that closes the
// value; nothing when the field is missing, fewer than three characters
// follow, or no quote closes the value (an answer cut off in it).
std::optional<double> ReadEstimateField(const QString& body, const QString& field);
// Whether a JSONP answer ("name({...});") is whole: its call is closed.
bool IsClosedCall(const QString& body);

// Nothing when the reply lacks what the provider's reading needs, when it is
// not whole (a call or element not closed: the connection broke off), or when
// an estimated or previous NAV it gives is not a positive number.
std::optional<Estimate> ParseScriptEstimate(const QString& body);
std::optional<Estimate> ParsePageEstimate(const QString& body);
std::optional<Estimate> ParseApiEstimate(const QString& body);
std::optional<Estimate> ParseEstimate(EstimateProvider p, const QString& body);

}  // namespace tovira
