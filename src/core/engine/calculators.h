#pragma once
// The two calculators of the "高级" menu, as plain logic over the ledger and
// the plan settings:
//  - take back the principal (TakeBackPrincipal): how many shares to redeem on the last
//    row so that the money put in over the last days comes back, offered to the
//    user and on request booked into the ledger;
//  - lower the holding cost (CostCalculatorDialog's calculation): how many shares to redeem
//    so that what stays in the fund costs the target per share.
//
// Both read the ledger by column key with rows counted from 1 and run with
// errors ignored: a figure whose row is missing, whose text is not a number or
// whose division fails keeps its previous value, which is 0 at the start.

#include <QString>
#include <QStringView>
#include <optional>

#include "core/common/messages.h"
#include "core/engine/recalculate.h"

namespace tovira {

class LedgerModel;
class PlanSettings;

// Whether the ledger has rows to work from ("数据不足！" when not).
bool LedgerHasData(const LedgerModel& ledger);

// Shares to redeem on the last row n to take the principal back:
//   x = (A - B) / (T - P * H * r), rounded to 2 decimals (halves to even),
// with P the NAV of row n, r = 1 - redemption fee / 100, T and H the total
// purchase and the held shares of row n - 2, A = total purchase * purchased
// shares and B = purchase amount * held shares of row n - 1. 0 when it cannot
// be worked out. Never more than the shares on hand on row n before its own
// redemption (its held shares plus the shares it redeems), so booking the
// figure cannot leave a negative holding.
float TakeBackPrincipalShares(const LedgerModel& ledger, const PlanSettings& settings);

// The take-back-principal command's offer: in 实际操作 the shares to book
// (the window asks "赎回提示", Yes/No, and on Yes calls BookTakeBackPrincipal). In
// any other mode the recalculation would overwrite a typed redemption at
// once, so the shares are only shown, with kMsgTakeBackTheoryOnly. With no
// rows, or when the shares come to 0, there is nothing to book.
TakeBackOffer OfferTakeBackPrincipal(const LedgerModel& ledger, const PlanSettings& settings,
                                     Mode mode);

// Writes an offer of kind Book into the last row's "RedeemShares" and
// recalculates the ledger; any other offer changes nothing.
void BookTakeBackPrincipal(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                           const TakeBackOffer& offer);

// Shares to redeem so that the holding costs targetCost per share:
//   s = (T / r - H * K) / (P - K), in double, rounded to 2 decimals (halves to
// even), then narrowed to single precision, with P the NAV of the last row,
// T and H the total purchase and the held shares of the row before it, r as
// above and K the leading number of targetCost. 0 when it cannot be worked out.
float LowerHoldingCostShares(const LedgerModel& ledger, const PlanSettings& settings,
                             QStringView targetCost);

// The calculator's button: the text of the result box, or nothing when the
// ledger has no rows (the window then shows kMsgNoData).
std::optional<QString> LowerHoldingCost(const LedgerModel& ledger, const PlanSettings& settings,
                                        QStringView targetCost);

}  // namespace tovira
