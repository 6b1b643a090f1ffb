#pragma once
// tovira-cli's market-data commands: import, append, directory and estimate,
// on the same downloads, parses and plan files the window uses.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

namespace tovira {

// args without the program name. Nothing when args[0] names none of these
// commands; otherwise the process exit status. programFolder gives the folder
// of Config.ini, FundCode.ini and the plan folder (asked only when needed).
std::optional<int> RunMarketDataCli(const QStringList& args,
                                    const std::function<QString()>& programFolder, QTextStream& out,
                                    QTextStream& err);

// The usage lines of these commands.
QString MarketDataUsage();

}  // namespace tovira
