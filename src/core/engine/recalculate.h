#pragma once
// The recalculation pass: walks the ledger from the first trading day to the
// last and recomputes what the plan bought, redeemed and held, then writes the
// computed columns back as text with their colours.

#include <QString>
#include <utility>
#include <vector>

#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

// Theory: the plan's rules decide every purchase and redemption.
// Fact: the amounts typed into PurchaseAmount and RedeemShares are booked.
// None: neither option is selected; nothing is bought or redeemed.
enum class Mode { None, Theory, Fact };

// Recomputes Increase, TTIncrease, PurchaseAmount, PurchaseShares,
// RedeemShares, RedeemAmount, HeldShares, MarketValue, NetInvested, Profit,
// ReturnPct and AverageCost of every row from the input cells and a snapshot
// of the settings taken when the pass starts. Never fails; bad texts read 0.
void Recalculate(LedgerModel& ledger, const PlanSettings& settings, Mode mode);

// The figures-only pass, for callers that need the numbers and not the texts
// (the parameter search, reports): the same pass Recalculate runs, fed from
// one read of the input cells and leaving the ledger alone.

enum class DividendKind : unsigned char { None, Conversion, Dividend };

// The input side of one row.
struct RowInput {
    float nav = 0;
    double navDec = 0;             // Dec(nav), read once
    bool purchaseBlocked = false;  // 暂停申购 or 封闭期
    bool redeemBlocked = false;    // 暂停赎回 or 封闭期
    bool dividendMarker = false;   // the text holds the cash-dividend marker anywhere
    DividendKind action = DividendKind::None;
    double actionValue = 0;   // conversion ratio or cash per share
    float typedPurchase = 0;  // 实际操作 only
    float typedRedeem = 0;    // 实际操作 only
};

// The computed figures of one row, before they become texts.
struct RowFigures {
    float increase = 0, cumulativeChange = 0, purchaseAmount = 0, purchaseShares = 0;
    float redeemShares = 0, redeemAmount = 0, holdShares = 0, marketValue = 0;
    float netInvested = 0, profit = 0, returnPct = 0, averageCost = 0;
};

// The input cells of a whole ledger, read once; reusable for any number of
// passes with different settings (in the same mode).
struct LedgerInput {
    Mode mode = Mode::Theory;
    std::vector<RowInput> rows;
    float firstIncrease = 0;  // row 1's Increase, the only change taken from the table
};

RowInput ReadRowInput(const LedgerModel& ledger, int row, Mode mode);
// The same from the cells' texts; the typed amounts are read in 实际操作 only.
RowInput ReadRowInput(QStringView netValue, QStringView purchaseStatus, QStringView redeemStatus,
                      QStringView dividendAction, QStringView typedPurchase,
                      QStringView typedRedeem, Mode mode);
LedgerInput ReadLedgerInput(const LedgerModel& ledger, Mode mode);

// How the pass gets there. Fast: rounds inline (ties to even, no library
// call) and skips steps whose result is known to the bit (nothing bought on
// a day, a test decided by a wide margin). Reference: rounds through the C
// library's nearbyint and computes every step as the rules state it. Both
// give the same figures to the bit; the second is kept to prove it.
enum class PassPath { Fast, Reference };

// The pass: one RowFigures per input row into `figures` (its storage is
// reused). Safe to run on several threads over the same input.
void ComputeFigures(const LedgerInput& input, const PlanSettings& settings,
                    std::vector<RowFigures>& figures, PassPath path = PassPath::Fast);

// What every pass computes alike from the rows alone, whatever the settings:
// the changes, the conversion ratio and cash dividend in force, and the
// adjusted value the purchase rule compares. One per input row.
struct RowMarket {
    float increase = 0;
    float cumulativeChange = 0;
    float cashDividend = 0;      // the cash per share in force
    double conversionRatio = 1;  // the conversion ratio in force
    double adjusted = 0;         // (dividends so far + NAV) × conversions so far
    double adjustedRounded = 0;  // the same to 4 decimals
};
std::vector<RowMarket> MarketFigures(const LedgerInput& input);

// What the search keeps of a pass: the counts, the extremes, the last row's
// figures and the rows where the money invested changes.
struct PassSummary {
    std::vector<std::pair<int, float>>
        netInvestedChanges;  // (row index, money invested); row 0 first
    int purchases = 0;       // rows with a purchase amount
    int redemptions = 0;     // rows after the first with redeemed shares
    float maxNetInvested = 0;
    float worstProfit = 0;
    float lastProfit = 0;
    float lastMarketValue = 0;

    void Clear();  // keeps the list's storage
    // Rows in order from 0 (which starts the summary anew), then the last
    // row again.
    void Add(int row, const RowFigures& figures);
    void Finish(const RowFigures& last);
};

// Inline: the search adds every row of every cell.
inline void PassSummary::Add(int row, const RowFigures& r) {
    if (row == 0) {
        Clear();
        maxNetInvested = r.netInvested;
        worstProfit = r.profit;
        netInvestedChanges.emplace_back(0, r.netInvested);
    } else {
        // Without branches where the figures vary from day to day.
        redemptions += r.redeemShares != 0 ? 1 : 0;
        maxNetInvested = r.netInvested > maxNetInvested ? r.netInvested : maxNetInvested;
        worstProfit = r.profit < worstProfit ? r.profit : worstProfit;
        if (r.netInvested != netInvestedChanges.back().second) {
            netInvestedChanges.emplace_back(row, r.netInvested);
        }
    }
    purchases += r.purchaseAmount != 0 ? 1 : 0;
}
PassSummary SummarizeFigures(const std::vector<RowFigures>& figures);

// Up to kPassesTogether passes over the same rows at once, each with its own
// settings: summaries[k] gets the summary of what ComputeFigures gives for
// *settings[k]. Each row of a pass waits on the row before; walking the rows
// together lets the processor work on one pass while another waits, and
// keeping only the row before keeps the work in the cache. `market` is
// MarketFigures(input), made once for any number of calls (computed here when
// its size does not match).
inline constexpr int kPassesTogether = 4;
void SummarizePassesTogether(const LedgerInput& input, const std::vector<RowMarket>& market,
                             const PlanSettings* const* settings, PassSummary* summaries,
                             int count);

// Marker texts in the dividend/conversion column.
inline const char16_t kConversionMarker[] = u"每份基金份额折算";
inline const char16_t kDividendMarker[] = u"每份派现金";

}  // namespace tovira
