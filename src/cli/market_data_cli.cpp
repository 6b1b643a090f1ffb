#include "cli/market_data_cli.h"

#include <unistd.h>

#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QUrl>
#include <optional>
#include <vector>

#include "core/common/messages.h"
#include "core/marketdata/config.h"
#include "core/marketdata/estimate.h"
#include "core/marketdata/fund_directory.h"
#include "core/marketdata/http_client.h"
#include "core/marketdata/nav_history.h"
#include "core/marketdata/nav_import.h"
#include "core/storage/edit_file.h"
#include "core/storage/file_guards.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

const char* const kMarketDataUsage =
    "  tovira-cli import CODE --from YYYY-MM-DD --to YYYY-MM-DD [--plan PATH] [--replace]\n"
    "                    [--source api|table|trend] [--discard-typed]\n"
    "  tovira-cli append PLAN.ini\n"
    "  tovira-cli directory\n"
    "  tovira-cli estimate CODE [--provider tiantian|howbuy|10jqka]\n";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Exit statuses beyond 0 done, 1 a wrong plan or input and 2 usage.
constexpr int kStatusNetwork = 3;  // a network or provider failure: worth retrying later
constexpr int kStatusNothing = 4;  // the provider has nothing for this request
constexpr int kStatusChanged = 5;  // the plan file changed while the command ran: worth retrying

QString UsageError() { return QStringLiteral("用法:\n") + QString::fromUtf8(kMarketDataUsage); }

// The command line of one of these commands: words and the options' values.
struct Arguments {
    QStringList positional;
    QString from, to, plan, provider, source;
    bool replace = false;
    bool discardTyped = false;
    bool help = false;
    QStringList given;  // the options that came, by name
};

// Nothing when an option is unknown or lacks its value.
std::optional<Arguments> ParseArguments(const QStringList& args) {
    Arguments a;  // positional[0] is the command
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        QString* value = nullptr;
        if (word == QStringLiteral("--from")) {
            value = &a.from;
        } else if (word == QStringLiteral("--to")) {
            value = &a.to;
        } else if (word == QStringLiteral("--plan")) {
            value = &a.plan;
        } else if (word == QStringLiteral("--provider")) {
            value = &a.provider;
        } else if (word == QStringLiteral("--source")) {
            value = &a.source;
        } else if (word == QStringLiteral("--replace")) {
            a.replace = true;
        } else if (word == QStringLiteral("--discard-typed")) {
            a.discardTyped = true;
        } else if (word == QStringLiteral("-h") || word == QStringLiteral("--help")) {
            a.help = true;
            continue;
        } else if (word.startsWith(u'-') && word.size() > 1) {
            return std::nullopt;
        } else {
            a.positional << word;
            continue;
        }
        if (a.given.contains(word)) return std::nullopt;  // twice
        a.given << word;
        if (value) {
            if (i + 1 >= args.size()) return std::nullopt;
            *value = args[++i];
        }
    }
    return a;
}

// Whether every option given is one of `allowed`.
bool OnlyOptions(const Arguments& a, const QStringList& allowed) {
    for (const QString& option : a.given) {
        if (!allowed.contains(option)) return false;
    }
    return true;
}

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
    explicit Progress(QTextStream& err)
        : err_(err), shown_(err.string() == nullptr && isatty(2) == 1) {}
    ~Progress() {
        if (used_) err_ << Qt::endl;
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(const QString& text) {
        if (!shown_) return;
        used_ = true;
        err_ << '\r' << text;
        err_.flush();
    }

  private:
    QTextStream& err_;
    bool shown_;
    bool used_ = false;
};

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

// --source: the configured source when not given.
std::optional<NavSource> SourceByOption(const QString& name, const Config& config) {
    if (name.isNull()) return config.HistorySource();
    if (name == QStringLiteral("api")) return NavSource::Api;
    if (name == QStringLiteral("table")) return NavSource::Table;
    if (name == QStringLiteral("trend")) return NavSource::Trend;
    return std::nullopt;
}

std::optional<QDate> ReadDateOption(const QString& text, QTextStream& err) {
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        err << Text(kMsgBadDate).arg(text) << Qt::endl;
        return std::nullopt;
    }
    return date;
}

// "23 行（2017/3/1 至 2017/3/31）": the rows from `first` to the last one.
QString AddedRows(const LedgerModel& ledger, int first, int added) {
    if (added == 0) return QStringLiteral("0 行");
    return QStringLiteral("%1 行（%2 至 %3）")
        .arg(added)
        .arg(ledger.Cell(first, Column::Date), ledger.Cell(ledger.LastRow(), Column::Date));
}

// Saves the plan into path unless the file is no longer what was read (read):
// 0, or the message and the exit status.
int SavePlan(LedgerModel& ledger, const PlanSettings& settings, Mode mode, const QString& path,
             const QString& code, const FileStamp& read, QTextStream& err) {
    const SaveOutcome saved = SavePlanFileAt(ledger, settings, mode, path, code, &read);
    if (saved.Saved()) return 0;
    err << MessageFor(saved) << Qt::endl;
    return saved.result == SaveResult::ChangedOnDisk ? kStatusChanged : 1;
}

// Opens a plan file for a change that must keep everything else of it: in
// 实际操作, where every input cell is read and written back, and without the
// recalculation, which would rewrite the typed amounts as figures ("" as
// "0", "1000.00" as "1000"); nothing it computes is stored, so leaving it
// out loses nothing. storedCode gets the file's fund code.
OpenOutcome OpenToChange(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                         QString* storedCode) {
    OpenPlanOptions options;
    options.mode = Mode::Fact;
    options.recalculate = false;
    options.setFundCode = [storedCode](const QString& code) {
        *storedCode = code;
        return false;
    };
    return OpenPlanFile(path, ledger, settings, options);
}

// The mode a changed plan is written back in. A plan with typed amounts
// (实际操作 keys) in any of its rows 1..rows is written in 实际操作: every
// input cell goes back as it was read, and rows that take the place of
// older ones do not inherit their amounts. Any other plan is written in
// 理论计算, which leaves its rows exactly as they were and adds no empty
// amounts to them.
Mode WriteBackMode(const QString& path, int rows) {
    IniDocument doc;
    if (!doc.Load(path)) return Mode::Theory;
    for (int row = 1; row <= rows; ++row) {
        const QString section = QStringLiteral("第%1行").arg(row);
        if (doc.Find(section, QStringLiteral("PurchaseAmount")) ||
            doc.Find(section, QStringLiteral("RedeemShares"))) {
            return Mode::Fact;
        }
    }
    return Mode::Theory;
}

// A day with amounts typed in 实际操作.
struct TypedDay {
    QDate date;
    QString dateText;
    QString purchase;
    QString redeem;
};

std::vector<TypedDay> TypedDays(const LedgerModel& ledger) {
    std::vector<TypedDay> days;
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        const QString purchase = ledger.Cell(row, Column::PurchaseAmount);
        const QString redeem = ledger.Cell(row, Column::RedeemShares);
        if (purchase.isEmpty() && redeem.isEmpty()) continue;
        const QString dateText = ledger.Cell(row, Column::Date);
        days.push_back({ReadLedgerDate(dateText).value_or(QDate()), dateText, purchase, redeem});
    }
    return days;
}

struct TypedOutcome {
    int kept = 0;       // typed days written into the new rows
    int lost = 0;       // typed days the new rows do not hold
    QString firstLost;  // the first of them, as its row showed it
};

// Writes the typed amounts into the new rows of the same days.
TypedOutcome KeepTypedDays(const std::vector<TypedDay>& typed, LedgerModel& ledger) {
    QHash<QDate, int> rowOf;
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        if (const std::optional<QDate> d = ReadLedgerDate(ledger.Cell(row, Column::Date))) {
            rowOf.insert(*d, row);
        }
    }
    TypedOutcome outcome;
    for (const TypedDay& day : typed) {
        const int row = day.date.isValid() ? rowOf.value(day.date, 0) : 0;
        if (row == 0) {
            if (outcome.lost++ == 0) outcome.firstLost = day.dateText;
            continue;
        }
        ledger.SetCell(row, Column::PurchaseAmount, day.purchase);
        ledger.SetCell(row, Column::RedeemShares, day.redeem);
        ++outcome.kept;
    }
    return outcome;
}

int RunImport(const Arguments& a, const std::function<QString()>& programFolder, QTextStream& out,
              QTextStream& err) {
    if (a.positional.size() != 2 || a.from.isNull() || a.to.isNull() ||
        !OnlyOptions(a, {QStringLiteral("--from"), QStringLiteral("--to"), QStringLiteral("--plan"),
                         QStringLiteral("--replace"), QStringLiteral("--source"),
                         QStringLiteral("--discard-typed")}) ||
        !(a.source.isNull() || a.source == QStringLiteral("api") ||
          a.source == QStringLiteral("table") || a.source == QStringLiteral("trend"))) {
        err << UsageError();
        return 2;
    }
    const QString code = a.positional[1];
    if (!IsFundCode(code)) {
        err << Text(kMsgBadFundCode) << Qt::endl;
        return 2;
    }
    const std::optional<QDate> from = ReadDateOption(a.from, err);
    if (!from) return 2;
    const std::optional<QDate> to = ReadDateOption(a.to, err);
    if (!to) return 2;
    if (*from > *to) {
        err << Text(kMsgStartAfterEnd) << Qt::endl;
        return 2;
    }

    const QString folder = programFolder ? programFolder() : QString();
    const QString path = a.plan.isEmpty() ? PlanFilePath(folder, code) : a.plan;
    if (!path.endsWith(QStringLiteral(".ini"))) {
        err << Text(kMsgWrongFormat) << Qt::endl;
        return 1;
    }
    // Plan sections go only into a plan file or a new one, never into another
    // program's file that merely ends in ".ini". An empty file counts as new.
    const PlanFileKind kind = PlanFileKindOf(path);
    if (kind == PlanFileKind::NotPlan) {
        err << Text(kMsgNotAPlanFile).arg(path) << Qt::endl;
        return 1;
    }
    // An existing plan keeps its settings (and all else the save does not
    // write); a new one gets the default preset the window applies to a fund
    // code typed in, and is written in 理论计算, as the window's first save.
    PlanSettings settings;
    // What the file is now; the save checks that nobody changed it meanwhile.
    const FileStamp read = StampOf(path);
    const bool exists = kind != PlanFileKind::Missing && kind != PlanFileKind::Empty;
    // The amounts typed in 实际操作, by the day they were typed for.
    std::vector<TypedDay> typed;
    if (!exists) {
        settings.ApplyPreset(Preset::Default);
    } else {
        LedgerModel old;
        QString storedCode;
        const OpenOutcome opened = OpenToChange(path, old, settings, &storedCode);
        if (opened.result != OpenResult::Opened) {
            const QString message = MessageFor(opened);
            err << (message.isEmpty() ? QStringLiteral("找不到方案文件：%1").arg(path) : message)
                << Qt::endl;
            return 1;
        }
        if (old.LastRow() > 0 && !a.replace) {
            err << Text(kMsgPlanHasRows) << Qt::endl;
            return 1;
        }
        typed = TypedDays(old);
    }

    Network net(folder);
    const NavSource source = *SourceByOption(a.source, net.config);
    const NavDownloadResult result = DownloadRange(net, source, code, *from, *to, err);
    if (!result.complete) {
        err << NavFailureMessage(result) << Qt::endl;
        return NavFailureStatus(result);
    }
    LedgerModel ledger;
    const ImportOutcome imported = ImportNavHistory(ledger, result.history);
    if (imported.hitRowLimit) {
        err << Text(kMsgRowLimit) << Qt::endl;
        return 1;
    }
    // Typed amounts stay with their days; one whose day the new rows no
    // longer hold would be lost, which only --discard-typed allows.
    const TypedOutcome kept = KeepTypedDays(typed, ledger);
    if (kept.lost > 0 && !a.discardTyped) {
        err << Text(kMsgTypedDaysLost).arg(kept.lost).arg(kept.firstLost) << Qt::endl;
        return 1;
    }
    // Amounts kept on their days are written in 实际操作, wherever their rows
    // now stand.
    const Mode mode = kept.kept > 0 ? Mode::Fact
                      : exists      ? WriteBackMode(path, ledger.LastRow())
                                    : Mode::Theory;
    if (const int status = SavePlan(ledger, settings, mode, path, code, read, err)) return status;
    out << QStringLiteral("已导入 %1：%2").arg(AddedRows(ledger, 1, imported.added), path)
        << Qt::endl;
    if (result.withoutStatus) err << Text(kMsgNavFromTrend) << Qt::endl;
    return 0;
}

int RunAppend(const Arguments& a, const std::function<QString()>& programFolder, QTextStream& out,
              QTextStream& err) {
    if (a.positional.size() != 2 || !a.given.isEmpty()) {
        err << UsageError();
        return 2;
    }
    const QString path = a.positional[1];
    if (!QFileInfo(path).isFile()) {
        err << QStringLiteral("找不到方案文件：%1").arg(path) << Qt::endl;
        return 1;
    }
    LedgerModel ledger;
    PlanSettings settings;
    QString storedCode;
    const FileStamp read = StampOf(path);
    const OpenOutcome opened = OpenToChange(path, ledger, settings, &storedCode);
    if (opened.result != OpenResult::Opened) {
        err << MessageFor(opened) << Qt::endl;
        return 1;
    }
    // The code the plan names, else the one its file is named after.
    const QString code = IsFundCode(storedCode) ? storedCode : QFileInfo(path).completeBaseName();
    if (!IsFundCode(code)) {
        err << Text(kMsgBadFundCode) << Qt::endl;
        return 1;
    }
    const int n = ledger.LastRow();
    const std::optional<QDate> last = LastRowDate(ledger);
    if (n == 0 || !last) {
        err << Text(kMsgNoStartDate) << Qt::endl;
        return 1;
    }
    const QDate today = QDate::currentDate();
    int added = 0;
    if (*last < today) {
        Network net(programFolder ? programFolder() : QString());
        const NavSource source = net.config.HistorySource();
        const NavDownloadResult result =
            DownloadRange(net, source, code, last->addDays(1), today, err);
        if (!result.complete && !result.noDays) {
            err << NavFailureMessage(result) << Qt::endl;
            return NavFailureStatus(result);
        }
        const ImportOutcome appended = AppendNavHistory(ledger, result.history);
        if (appended.hitRowLimit) {
            err << Text(kMsgRowLimit) << Qt::endl;
            return 1;
        }
        added = appended.added;
    }
    // Nothing new: the file stays as it is.
    if (added > 0) {
        if (const int status = SavePlan(ledger, settings, WriteBackMode(path, ledger.LastRow()),
                                        path, code, read, err)) {
            return status;
        }
    }
    out << QStringLiteral("已追加 %1").arg(AddedRows(ledger, n + 1, added)) << Qt::endl;
    return 0;
}

int RunDirectory(const Arguments& a, const std::function<QString()>& programFolder,
                 QTextStream& out, QTextStream& err) {
    if (a.positional.size() != 1 || !a.given.isEmpty()) {
        err << UsageError();
        return 2;
    }
    const QString folder = programFolder ? programFolder() : QString();
    Network net(folder);
    Progress progress(err);
    const DirectoryResult result = Wait<DirectoryResult>([&](auto done) {
        DownloadFundDirectory(
            net.http, net.config.BaseUrl(Endpoint::FundDirectory), folder, done, nullptr,
            [&](qint64 received, qint64) {
                progress.Show(QStringLiteral("已下载 %1 KB").arg(received / 1024));
            });
    });
    switch (result) {
        case DirectoryResult::Updated:
            out << Text(kMsgDirectoryUpdated) << Qt::endl;
            return 0;
        case DirectoryResult::Failed:
            err << Text(kMsgDirectoryFailed) << Qt::endl;
            return kStatusNetwork;
        case DirectoryResult::TimedOut:
            err << Text(kMsgDirectoryTimedOut) << Qt::endl;
            return kStatusNetwork;
    }
    return kStatusNetwork;
}

std::optional<EstimateProvider> ProviderByOption(const QString& name) {
    if (name.isNull() || name == QStringLiteral("tiantian")) return EstimateProvider::Tiantian;
    if (name == QStringLiteral("howbuy")) return EstimateProvider::Howbuy;
    if (name == QStringLiteral("10jqka")) return EstimateProvider::Jqka;
    return std::nullopt;
}

int RunEstimate(const Arguments& a, const std::function<QString()>& programFolder, QTextStream& out,
                QTextStream& err) {
    const std::optional<EstimateProvider> provider = ProviderByOption(a.provider);
    if (a.positional.size() != 2 || !provider || !OnlyOptions(a, {QStringLiteral("--provider")})) {
        err << UsageError();
        return 2;
    }
    const QString code = a.positional[1];
    if (!IsFundCode(code)) {
        err << Text(kMsgBadFundCode) << Qt::endl;
        return 2;
    }
    Network net(programFolder ? programFolder() : QString());
    QString url;
    switch (*provider) {
        case EstimateProvider::Tiantian:
            url = ScriptEstimateUrl(net.config.BaseUrl(Endpoint::EstimateTiantian), code,
                                    static_cast<long long>(RandomInteger(100000000, 999999999)));
            break;
        case EstimateProvider::Howbuy:
            url = PageEstimateUrl(net.config.BaseUrl(Endpoint::EstimateHowbuy), code);
            break;
        case EstimateProvider::Jqka:
            url = ApiEstimateUrl(net.config.BaseUrl(Endpoint::Estimate10jqka), code);
            break;
    }
    const HttpResponse response =
        Wait<HttpResponse>([&](auto done) { net.http.Get(QUrl(url, QUrl::TolerantMode), done); });
    const QDateTime fetched = QDateTime::currentDateTime();
    // An error page is no estimate, whatever figures it holds.
    if (!response.ok || response.status < 200 || response.status > 299) {
        err << Text(response.timedOut ? kMsgEstimateTimedOut : kMsgEstimateFailed) << Qt::endl;
        return kStatusNetwork;
    }
    // The provider answered, but with no estimate of this fund today.
    const std::optional<Estimate> estimate = ParseEstimate(*provider, response.text);
    if (!estimate) {
        err << Text(kMsgEstimateFailed) << Qt::endl;
        return kStatusNothing;
    }
    // The script provider tells when it estimated; the others are as of the fetch.
    static const QRegularExpression estimateTime(QStringLiteral("\"gztime\"\\s*:\\s*\"([^\"]+)\""));
    const QRegularExpressionMatch time = estimateTime.match(response.text);
    out << ProviderName(*provider) << ' ' << code << '\n';
    out << QStringLiteral("估值：") << estimate->value << '\n';
    out << QStringLiteral("涨幅：") << estimate->change << '\n';
    if (estimate->previousNav)
        out << QStringLiteral("上一净值：") << *estimate->previousNav << '\n';
    out << QStringLiteral("时间：")
        << (time.hasMatch() ? time.captured(1)
                            : fetched.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        << Qt::endl;
    return 0;
}

}  // namespace

std::optional<int> RunMarketDataCli(const QStringList& args,
                                    const std::function<QString()>& programFolder, QTextStream& out,
                                    QTextStream& err) {
    const QString command = args.value(0);
    using Runner =
        int (*)(const Arguments&, const std::function<QString()>&, QTextStream&, QTextStream&);
    Runner run = nullptr;
    if (command == QStringLiteral("import")) {
        run = RunImport;
    } else if (command == QStringLiteral("append")) {
        run = RunAppend;
    } else if (command == QStringLiteral("directory")) {
        run = RunDirectory;
    } else if (command == QStringLiteral("estimate")) {
        run = RunEstimate;
    } else {
        return std::nullopt;
    }
    const std::optional<Arguments> parsed = ParseArguments(args);
    if (!parsed) {
        err << UsageError();
        return 2;
    }
    if (parsed->help) {
        out << Text(kMarketDataUsage);
        return 0;
    }
    return run(*parsed, programFolder, out, err);
}

QString MarketDataUsage() { return Text(kMarketDataUsage); }

}  // namespace tovira
