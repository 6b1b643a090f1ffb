#include "core/marketdata/estimate_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <utility>

#include "core/common/beijing_time.h"
#include "core/common/ledger_date.h"
#include "core/common/numbers.h"
#include "core/engine/figure_table.h"
#include "core/ledger/ledger_model.h"
#include "core/storage/file_io.h"

namespace tovira {
namespace {

// 250 days of five sources take about 60 KB; anything far larger is not ours.
constexpr qsizetype kLargestRecordFile = 4 << 20;
// A writer that finds the file changed under it (another window, the command
// line) reads it again; after this many tries it gives up.
constexpr int kWriteTries = 3;

const QString kSource = QStringLiteral("source");
const QString kDate = QStringLiteral("date");
const QString kTime = QStringLiteral("time");
const QString kNav = QStringLiteral("nav");
const QString kChange = QStringLiteral("change_pct");
const QString kPrevious = QStringLiteral("previous_nav");

bool Finite(const QJsonValue& v) { return v.isDouble() && std::isfinite(v.toDouble()); }

// One line of the file; nothing for a line that is not a whole entry.
std::optional<std::pair<EstimateSource, NotedEstimate>> ReadLine(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const std::optional<EstimateSource> source =
        EstimateSourceByCliName(o.value(kSource).toString());
    NotedEstimate e;
    e.date = QDate::fromString(o.value(kDate).toString(), Qt::ISODate);
    e.time = QTime::fromString(o.value(kTime).toString(), Qt::ISODate);
    const QJsonValue nav = o.value(kNav);
    const QJsonValue change = o.value(kChange);
    const QJsonValue previous = o.value(kPrevious);
    if (!source || !e.date.isValid() || !e.time.isValid() || !Finite(nav) || nav.toDouble() <= 0 ||
        !Finite(change) || !(previous.isNull() || Finite(previous)) || !o.contains(kPrevious)) {
        return std::nullopt;
    }
    e.nav = nav.toDouble();
    e.changePct = change.toDouble();
    if (previous.isDouble()) e.previousNav = previous.toDouble();
    return std::make_pair(*source, e);
}

QByteArray LineOf(EstimateSource source, const NotedEstimate& e) {
    const QJsonObject o{
        {kSource, EstimateSourceCliName(source)},
        {kDate, e.date.toString(Qt::ISODate)},
        {kTime, e.time.toString(QStringLiteral("HH:mm:ss"))},
        {kNav, e.nav},
        {kChange, e.changePct},
        {kPrevious, e.previousNav ? QJsonValue(*e.previousNav) : QJsonValue(QJsonValue::Null)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

// The bytes as entries: later lines of the same source and day win, as they
// were written later.
RecordContents Parse(const QByteArray& bytes) {
    RecordContents contents;
    contents.status = RecordRead::Read;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty()) continue;
        const auto entry = ReadLine(line);
        if (!entry) {
            ++contents.damagedLines;
            continue;
        }
        std::vector<NotedEstimate>& days = contents.days[static_cast<size_t>(entry->first)];
        const auto at = std::find_if(days.begin(), days.end(), [&](const NotedEstimate& d) {
            return d.date == entry->second.date;
        });
        if (at != days.end()) {
            *at = entry->second;
        } else {
            days.push_back(entry->second);
        }
    }
    for (std::vector<NotedEstimate>& days : contents.days) {
        std::stable_sort(
            days.begin(), days.end(),
            [](const NotedEstimate& a, const NotedEstimate& b) { return a.date < b.date; });
    }
    if (contents.damagedLines > 0) contents.status = RecordRead::Damaged;
    return contents;
}

QByteArray Serialise(const RecordedDays& days) {
    QByteArray bytes;
    for (int s = 0; s < kEstimateSourceCount; ++s) {
        for (const NotedEstimate& e : days[static_cast<size_t>(s)]) {
            bytes += LineOf(static_cast<EstimateSource>(s), e);
        }
    }
    return bytes;
}

bool SameEstimate(const NotedEstimate& a, const NotedEstimate& b) {
    return a.date == b.date && a.time == b.time && a.nav == b.nav && a.changePct == b.changePct &&
           a.previousNav == b.previousNav;
}

// A free name beside path for a damaged copy: path.bad, path.bad2, ...
QString AsideName(const QString& path) {
    QString name = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(name); ++n) name = path + QStringLiteral(".bad%1").arg(n);
    return name;
}

}  // namespace

EstimateRecord::EstimateRecord(QString programFolder) : programFolder_(std::move(programFolder)) {}

QString EstimateRecord::PathOf(const QString& programFolder, const QString& code) {
    static const QRegularExpression kCode(QStringLiteral("^[A-Za-z0-9]{1,12}$"));
    if (programFolder.isEmpty() || !kCode.match(code).hasMatch()) return {};
    return QDir(programFolder)
        .filePath(QStringLiteral("data/estimates/") + code + QStringLiteral(".json"));
}

RecordContents EstimateRecord::Read(const QString& code) const {
    RecordContents contents;
    const QString path = PathOf(code);
    if (path.isEmpty()) return contents;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return contents;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kLargestRecordFile);
    if (!bytes) {
        contents.status = RecordRead::Unreadable;
        return contents;
    }
    return Parse(*bytes);
}

NoteResult EstimateRecord::Note(const QString& code, const SourceEstimate& estimate) const {
    keptAside_.clear();
    const QString path = PathOf(code);
    const QDateTime when = ToBeijing(estimate.time);
    if (path.isEmpty() || !when.isValid() || !std::isfinite(estimate.nav) || estimate.nav <= 0 ||
        !std::isfinite(estimate.changePct) ||
        (estimate.previousNav && !std::isfinite(*estimate.previousNav))) {
        return NoteResult::Refused;
    }
    NotedEstimate noted;
    noted.date = when.date();
    noted.time = QTime(when.time().hour(), when.time().minute(), when.time().second());
    noted.nav = estimate.nav;
    noted.changePct = estimate.changePct;
    noted.previousNav = estimate.previousNav;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return NoteResult::Failed;

    for (int attempt = 0; attempt < kWriteTries; ++attempt) {
        const FileStamp before = StampOf(path);
        RecordContents contents = Read(code);
        if (contents.status == RecordRead::Unreadable) return NoteResult::Failed;
        if (contents.status == RecordRead::Damaged) {
            // Never written over: what could not be read may still matter to
            // someone who looks at it.
            const QString aside = AsideName(path);
            if (!QFile::copy(path, aside)) return NoteResult::Failed;
            keptAside_ = aside;
        }
        std::vector<NotedEstimate>& days = contents.days[static_cast<size_t>(estimate.source)];
        const auto at = std::lower_bound(
            days.begin(), days.end(), noted.date,
            [](const NotedEstimate& d, const QDate& date) { return d.date < date; });
        if (at != days.end() && at->date == noted.date) {
            if (SameEstimate(*at, noted) && contents.status != RecordRead::Damaged) {
                return NoteResult::Unchanged;
            }
            *at = noted;
        } else {
            days.insert(at, noted);
        }
        if (days.size() > static_cast<size_t>(kRecordDays)) {
            days.erase(days.begin(), days.end() - kRecordDays);
        }
        const QByteArray bytes = Serialise(contents.days);
        bool changedMeanwhile = false;
        const WriteResult written = WriteFileAtomicallyWithResult(
            path, [&bytes](const ByteSink& write) { return write(QByteArrayView(bytes)); },
            [&] {
                changedMeanwhile = StampOf(path) != before;
                return !changedMeanwhile;
            });
        if (written != WriteResult::Failed) return NoteResult::Written;
        if (!changedMeanwhile) return NoteResult::Failed;
    }
    return NoteResult::Failed;
}

// ---- the comparison ----

namespace {

bool IsCorporateAction(QStringView action) {
    return action.contains(u"每份基金份额折算") || action.contains(u"每份派现金");
}

std::optional<double> StoredChange(QStringView text) {
    if (text.trimmed().isEmpty()) return std::nullopt;
    const double v = ReadNumber(text);
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// The days from the rows' texts; cell(row, column) reads a stored text.
template <typename CellText>
std::vector<OfficialDay> DaysOf(int lastRow, std::optional<double> firstChange, CellText cell) {
    std::vector<OfficialDay> days;
    double previousNav = 0;  // 0: no day before this one
    for (int row = 1; row <= lastRow; ++row) {
        const std::optional<QDate> date = ReadLedgerDate(cell(row, Column::Date).toString());
        const double nav = ReadNumber(cell(row, Column::NetValue));
        if (!date || !std::isfinite(nav) || nav <= 0) {
            previousNav = 0;  // a day whose NAV is unknown: the next change is not a day's
            continue;
        }
        OfficialDay day;
        day.date = *date;
        day.nav = nav;
        day.withoutStatus = cell(row, Column::PurchaseStatus).trimmed().isEmpty() &&
                            cell(row, Column::RedeemStatus).trimmed().isEmpty();
        if (!IsCorporateAction(cell(row, Column::DividendAction))) {
            if (row == 1) {
                day.changePct = firstChange;
            } else if (previousNav > 0) {
                day.changePct = (nav / previousNav - 1) * 100;
            }
        }
        previousNav = nav;
        days.push_back(day);
    }
    return days;
}

}  // namespace

std::vector<OfficialDay> OfficialDays(const LedgerModel& ledger) {
    if (ledger.LastRow() == 0) return {};
    return DaysOf(ledger.LastRow(), StoredChange(ledger.Cell(1, Column::DailyChange)),
                  [&](int row, Column c) { return QStringView(ledger.Cell(row, c)); });
}

std::vector<OfficialDay> OfficialDays(const FigureTable& table) {
    const FigureView view = table.View();
    return DaysOf(table.LastRow(), StoredChange(table.firstIncrease),
                  [&](int row, Column c) { return view.Text(row, c); });
}

std::vector<SourceAccuracy> CompareRecord(const RecordedDays& days,
                                          const std::vector<OfficialDay>& official) {
    std::vector<SourceAccuracy> result;
    for (int s = 0; s < kEstimateSourceCount; ++s) {
        const std::vector<NotedEstimate>& noted = days[static_cast<size_t>(s)];
        if (noted.empty()) continue;
        SourceAccuracy acc;
        acc.source = static_cast<EstimateSource>(s);
        double sum = 0;
        std::vector<ComparedDay> compared;
        for (const NotedEstimate& e : noted) {
            const auto day = std::find_if(official.begin(), official.end(),
                                          [&](const OfficialDay& d) { return d.date == e.date; });
            const bool estimateRow =
                day != official.end() && day->withoutStatus && std::abs(day->nav - e.nav) < 0.00005;
            if (day == official.end() || estimateRow) {
                ++acc.pending;
                continue;
            }
            if (!day->changePct) {
                ++acc.skipped;
                continue;
            }
            ComparedDay c{e.date,      e.nav,           day->nav,
                          e.changePct, *day->changePct, e.changePct - *day->changePct};
            const double abs = std::abs(c.errorPp);
            sum += abs;
            if (acc.days == 0 || abs > acc.maxAbsErrorPp) {
                acc.maxAbsErrorPp = abs;
                acc.maxErrorDate = c.date;
            }
            ++acc.days;
            compared.push_back(c);
        }
        if (acc.days > 0) acc.meanAbsErrorPp = sum / acc.days;
        const size_t keep = std::min(compared.size(), static_cast<size_t>(kAccuracyLastDays));
        acc.lastDays.assign(compared.rbegin(), compared.rbegin() + static_cast<long>(keep));
        result.push_back(std::move(acc));
    }
    return result;
}

}  // namespace tovira
