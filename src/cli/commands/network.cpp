#include "cli/commands/network.h"

#include <unistd.h>

namespace tovira {

Progress::Progress(QTextStream& err)
    : err_(err), shown_(err.string() == nullptr && isatty(2) == 1) {}

Progress::~Progress() {
    if (used_) err_ << Qt::endl;
}

void Progress::Show(const QString& text) {
    if (!shown_) return;
    used_ = true;
    err_ << '\r' << text;
    err_.flush();
}

NavDownloadResult DownloadRange(Network& net, NavSource source, const QString& code,
                                const QDate& start, const QDate& end, QTextStream& err) {
    Progress progress(err);
    return Wait<NavDownloadResult>([&](auto done) {
        DownloadNavHistoryFrom(
            source, net.http, net.config.HistoryBaseUrl(source), code, start, end, done, nullptr,
            net.config.ImportLimitMs(), [&](int pagesDone, int pages) {
                progress.Show(QStringLiteral("已下载第 %1/%2 页").arg(pagesDone).arg(pages));
            });
    });
}

}  // namespace tovira
