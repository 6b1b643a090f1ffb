#pragma once
// The two calculators of the "高级" menu, as plain logic over the ledger and
// the plan settings:
//  - take back the principal (MoneyOut): how many shares to redeem on the last
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

#include "core/engine/recalculate.h"

namespace tovira {

// Shown under the shares to redeem in 理论计算, where the plan's own rules
// decide every redemption and nothing typed into the ledger would stay.
inline const char* const kMsgMoneyOutTheoryOnly = "理论计算下仅供参考，如需填入列表请切换到实际操作。";

class LedgerModel;
class PlanSettings;
class Prompt;

// Shows "数据不足！" and returns false when the ledger has no rows.
bool LedgerHasData(const LedgerModel& ledger, Prompt& prompt);

// Shares to redeem on the last row n to take the principal back:
//   x = (A - B) / (T - P * H * r), rounded to 2 decimals (halves to even),
// with P the NAV of row n, r = 1 - redemption fee / 100, T and H the total
// purchase and the held shares of row n - 2, A = total purchase * purchased
// shares and B = purchase amount * held shares of row n - 1. 0 when it cannot
// be worked out. Never more than the shares on hand on row n before its own
// redemption (its held shares plus the shares it redeems), so booking the
// figure cannot leave a negative holding.
float MoneyOutShares(const LedgerModel& ledger, const PlanSettings& settings);

// The whole take-back-principal command: in 实际操作 offers the shares
// ("赎回提示", Yes/No) and on Yes writes them into the last row's
// "RedeemShares" and recalculates the ledger. In any other mode the
// recalculation would overwrite a typed redemption at once, so the shares are
// only shown, with kMsgMoneyOutTheoryOnly, and the ledger is not touched.
// With no rows, or when the shares come to 0, it only tells the user.
void MoneyOut(LedgerModel& ledger, const PlanSettings& settings, Mode mode, Prompt& prompt);

// Shares to redeem so that the holding costs targetCost per share:
//   s = (T / r - H * K) / (P - K), in double, rounded to 2 decimals (halves to
// even), then narrowed to single precision, with P the NAV of the last row,
// T and H the total purchase and the held shares of the row before it, r as
// above and K the leading number of targetCost. 0 when it cannot be worked out.
float CheaperShares(const LedgerModel& ledger, const PlanSettings& settings,
                    QStringView targetCost);

// The calculator's button: the text of the result box, or nothing (after
// "数据不足！") when the ledger has no rows.
std::optional<QString> Cheaper(const LedgerModel& ledger, const PlanSettings& settings,
                               QStringView targetCost, Prompt& prompt);

}  // namespace tovira
