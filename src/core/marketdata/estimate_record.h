#pragma once
// How close each source's estimate came: the last estimate of every Beijing
// day, per fund and source, kept in a small file per fund, and its comparison
// with the official NAVs of the fund's ledger once they are in.
//
// The file, <programFolder>/data/estimates/CODE.json, holds one JSON object
// per line, one line per source and day:
//   {"source":"sina","date":"2026-07-27","time":"14:59:30","nav":1.2345,
//    "change_pct":0.52,"previous_nav":1.2281}
// so that a damaged line costs that day only. It is written whole by the
// program's one atomic writer, at most kRecordDays days per source (the
// oldest dropped). A file of which some lines cannot be read is copied aside
// (CODE.json.bad, .bad2, ...) before the readable rest replaces it; one that
// cannot be read at all (permissions) is never written over.

#include <QDate>
#include <QString>
#include <QTime>
#include <array>
#include <optional>
#include <vector>

#include "core/marketdata/live_estimate.h"

namespace tovira {

struct FigureTable;
class LedgerModel;

inline constexpr int kRecordDays = 250;       // per source
inline constexpr int kAccuracyLastDays = 20;  // the days a comparison lists

// What the window and the command line say about a record.
inline const char* const kMsgNoEstimateRecord =
    "还没有这只基金的估值记录：勾选实时估值后，每天的最后一次估值会记在这里。";
inline const char* const kMsgEstimateRecordUnreadable = "无法读取估值记录：%1";
inline const char* const kMsgEstimateRecordDamaged = "估值记录中有 %1 行无法读取，已略过。";

// The last estimate a source gave on one day.
struct NotedEstimate {
    QDate date;  // Beijing date
    QTime time;  // Beijing time
    double nav = 0;
    double changePct = 0;
    std::optional<double> previousNav;
};

// Per source (indexed by EstimateSource), oldest day first.
using RecordedDays = std::array<std::vector<NotedEstimate>, kEstimateSourceCount>;

enum class RecordRead {
    None,        // no file yet
    Read,        // every line read
    Damaged,     // some lines (or all) could not be read: the rest is there
    Unreadable,  // the file is there but cannot be read (not a regular file, no permission, too
                 // big)
};

struct RecordContents {
    RecordRead status = RecordRead::None;
    RecordedDays days;
    int damagedLines = 0;
};

enum class NoteResult {
    Written,
    Unchanged,  // the same estimate was already noted
    Refused,    // not a usable fund code, or an estimate without a time or a NAV
    Failed,     // nothing written: the old file, if any, is as it was
};

class EstimateRecord {
  public:
    explicit EstimateRecord(QString programFolder);

    // Where the fund's record lives; empty for a code that is not 1 to 12
    // letters or digits.
    static QString PathOf(const QString& programFolder, const QString& code);
    QString PathOf(const QString& code) const { return PathOf(programFolder_, code); }

    RecordContents Read(const QString& code) const;

    // Notes the estimate as its source's last one of its Beijing day,
    // replacing an earlier one of the same day, and writes the file.
    NoteResult Note(const QString& code, const SourceEstimate& estimate) const;

    // Where the last Note kept a damaged file aside (empty when it did not).
    // For tests and for a message; not thread-safe.
    const QString& KeptAside() const { return keptAside_; }

  private:
    QString programFolder_;
    mutable QString keptAside_;
};

// ---- the comparison ----

// One ledger day as the comparison reads it.
struct OfficialDay {
    QDate date;
    double nav = 0;
    // The official change of the day in percent; none when it cannot be
    // trusted: the first row without its stored change, a dividend or share
    // conversion day (the NAV falls by the payout, the ratio is no change),
    // a previous NAV that is not a positive number.
    std::optional<double> changePct;
    // No purchase or redemption status: a row the window adds for today's
    // estimate looks like this (the status texts come with the official NAV).
    bool withoutStatus = false;
};

// The ledger's days, in order, rows without a date or a positive NAV left out.
std::vector<OfficialDay> OfficialDays(const LedgerModel& ledger);
std::vector<OfficialDay> OfficialDays(const FigureTable& table);

struct ComparedDay {
    QDate date;
    double estimate = 0;  // NAV
    double official = 0;  // NAV
    double estimateChangePct = 0;
    double officialChangePct = 0;
    double errorPp = 0;  // estimate change − official change, percentage points
};

struct SourceAccuracy {
    EstimateSource source = EstimateSource::Tiantian;
    int days = 0;  // compared
    double meanAbsErrorPp = 0;
    double maxAbsErrorPp = 0;
    QDate maxErrorDate;
    int pending = 0;                    // noted, no official NAV yet
    int skipped = 0;                    // official NAV there, its change not trusted
    std::vector<ComparedDay> lastDays;  // the last kAccuracyLastDays compared, newest first
};

// Every source with at least one noted day, in the order of EstimateSource.
// A noted day whose ledger row has no status texts and holds that very
// estimate (to 4 decimals) is the window's estimate row, not an official
// NAV: pending.
std::vector<SourceAccuracy> CompareRecord(const RecordedDays& days,
                                          const std::vector<OfficialDay>& official);

}  // namespace tovira
