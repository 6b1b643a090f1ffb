#pragma once
// The recalculation pass: walks the ledger from the first trading day to the
// last and recomputes what the plan bought, redeemed and held, then writes the
// computed columns back as text with their colours.

#include <QString>

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

// Marker texts in the dividend/conversion column.
inline const char16_t kConversionMarker[] = u"每份基金份额折算";
inline const char16_t kDividendMarker[] = u"每份派现金";

}  // namespace tovira
