#include <gtest/gtest.h>

#include "core/marketdata/config.h"
#include "core/marketdata/estimate.h"

using namespace tovira;

// Each provider's address is built on its own server, and only the script
// provider draws a cache-busting number.
TEST(EstimateUrlTest, EachProviderOnItsOwnServer) {
    Config config;
    config.SetHost(Endpoint::EstimateTiantian, QStringLiteral("tt.test:81"));
    config.SetHost(Endpoint::EstimateHowbuy, QStringLiteral("https://hb.test"));
    config.SetHost(Endpoint::Estimate10jqka, QStringLiteral("jq.test:83"));
    const struct {
        EstimateProvider provider;
        const char* url;
        int draws;
    } cases[] = {
        {EstimateProvider::Tiantian, "http://tt.test:81/js/161725.js?rt=144123456789", 1},
        {EstimateProvider::Howbuy,
         "https://hb.test/fund/ajax/gmfund/valuation/valuationnav.htm?jjdm=161725", 0},
        {EstimateProvider::Jqka,
         "http://jq.test:83/?module=api&controller=index&action=real&datatype=jsonp"
         "&callback=jQuery18303425260568037629_1460010584121&codes=161725",
         0},
    };
    for (const auto& c : cases) {
        int draws = 0;
        const QString url = EstimateUrl(config, c.provider, QStringLiteral("161725"), [&] {
            ++draws;
            return 123456789LL;
        });
        EXPECT_EQ(url, QString::fromUtf8(c.url));
        EXPECT_EQ(draws, c.draws) << c.url;
    }
}
