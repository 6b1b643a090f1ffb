#pragma once
// What the market-data commands (import, append, directory, estimate) share
// on the network side: Config.ini's servers and time limits, waiting for an
// asynchronous download, and progress for a person watching a terminal.

#include <QDate>
#include <QEventLoop>
#include <QString>
#include <QTextStream>
#include <optional>

#include "core/marketdata/config.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_history.h"

namespace tovira {

// The network side, read from the program folder as the window reads it.
struct Network {
    explicit Network(const QString& folder) : config(Config::Load(folder)) {
        http.SetTimeout(config.TimeoutMs());
    }
    Config config;
    HttpClient http;
};

// Runs an asynchronous call until its callback has come. start gets the
// callback to hand on; every download has a time limit, so this ends.
template <typename Result, typename Start>
Result Wait(Start start) {
    std::optional<Result> result;
    QEventLoop loop;
    start([&](const Result& r) {
        result = r;
        loop.quit();
    });
    if (!result) loop.exec();
    return *result;
}

// Progress on the error stream, only for a person watching a terminal (never
// into a stream that collects text). The line is rewritten in place and ended
// when the download is over.
class Progress {
  public:
    explicit Progress(QTextStream& err);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(const QString& text);

  private:
    QTextStream& err_;
    bool shown_;
    bool used_ = false;
};

// The NAV history of a range from a source, with the pages' progress.
NavDownloadResult DownloadRange(Network& net, NavSource source, const QString& code,
                                const QDate& start, const QDate& end, QTextStream& err);

}  // namespace tovira
