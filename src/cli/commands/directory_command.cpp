// tovira-cli directory: the fund directory (FundCode.ini) downloaded anew
// into the program folder.

#include "cli/commands/command.h"
#include "cli/commands/network.h"
#include "core/common/messages.h"
#include "core/marketdata/fund_directory.h"

namespace tovira {
namespace {

int RunDirectory(const CommandRun& run) {
    if (!run.words.isEmpty()) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString folder = run.Folder();
    Network net(folder);
    Progress progress(run.err);
    const DirectoryResult result = Wait<DirectoryResult>([&](auto done) {
        DownloadFundDirectory(
            net.http, net.config.BaseUrl(Endpoint::FundDirectory), folder, done, nullptr,
            [&](qint64 received, qint64) {
                progress.Show(QStringLiteral("已下载 %1 KB").arg(received / 1024));
            });
    });
    switch (result) {
        case DirectoryResult::Updated:
            run.out << QString::fromUtf8(kMsgDirectoryUpdated) << Qt::endl;
            return kStatusDone;
        case DirectoryResult::Failed:
            run.err << QString::fromUtf8(kMsgDirectoryFailed) << Qt::endl;
            return kStatusNetwork;
        case DirectoryResult::TimedOut:
            run.err << QString::fromUtf8(kMsgDirectoryTimedOut) << Qt::endl;
            return kStatusNetwork;
    }
    return kStatusNetwork;
}

}  // namespace

Command DirectoryCommand() {
    return {QStringLiteral("directory"),
            QStringLiteral("重新下载基金目录（FundCode.ini）到程序文件夹"),
            QStringLiteral("  tovira-cli directory\n"),
            CommandGroup::MarketData,
            {},
            RunDirectory};
}

}  // namespace tovira
