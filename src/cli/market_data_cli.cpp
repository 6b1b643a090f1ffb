#include "cli/market_data_cli.h"

namespace tovira {

std::optional<int> RunMarketDataCli(const QStringList& args,
                                    const std::function<QString()>& programFolder, QTextStream& out,
                                    QTextStream& err) {
    Q_UNUSED(args);
    Q_UNUSED(programFolder);
    Q_UNUSED(out);
    Q_UNUSED(err);
    return std::nullopt;
}

QString MarketDataUsage() { return {}; }

}  // namespace tovira
