#include "core/engine/calculators.h"

#include <algorithm>

#include "core/common/numbers.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

namespace tovira {

namespace {

bool RowExists(const LedgerModel& ledger, int row) { return row >= 1 && row <= ledger.LastRow(); }

// The leading number of a cell, kept single-precision. A missing row or a
// value outside the single range leaves 0.
float LeadingSingle(const LedgerModel& ledger, int row, Column key) {
    float value = 0;
    if (RowExists(ledger, row)) Assign(value, ReadNumber(ledger.Cell(row, key)));
    return value;
}

// A cell converted as a whole to a single-precision number. A missing row, a
// text that is not a number (the empty text included) or a value outside the
// single range leaves 0.
float ConvertedSingle(const LedgerModel& ledger, int row, Column key) {
    float value = 0;
    if (!RowExists(ledger, row)) return value;
    if (const std::optional<double> n = StrictNumber(ledger.Cell(row, key))) Assign(value, *n);
    return value;
}

// Product of the leading numbers of two cells of one row, kept single-precision.
float ProductSingle(const LedgerModel& ledger, int row, Column first, Column second) {
    float value = 0;
    if (RowExists(ledger, row)) {
        Assign(value, ReadNumber(ledger.Cell(row, first)) * ReadNumber(ledger.Cell(row, second)));
    }
    return value;
}

// 1 - redemption fee / 100: what is left of a redemption after the fee.
float NetOfRedeemFee(const PlanSettings& settings) {
    float value = 0;
    Assign(value, 1.0 - settings.Number(Field::RedeemFeePct) / 100.0);
    return value;
}

}  // namespace

bool LedgerHasData(const LedgerModel& ledger) { return ledger.LastRow() > 0; }

float TakeBackPrincipalShares(const LedgerModel& ledger, const PlanSettings& settings) {
    const int n = ledger.LastRow();
    const double p = LeadingSingle(ledger, n, Column::NetValue);
    const double r = NetOfRedeemFee(settings);
    const double t = ConvertedSingle(ledger, n - 2, Column::NetInvested);
    const double h = ConvertedSingle(ledger, n - 2, Column::HeldShares);
    const double a = ProductSingle(ledger, n - 1, Column::NetInvested, Column::ConfirmedShares);
    const double b = ProductSingle(ledger, n - 1, Column::PurchaseAmount, Column::HeldShares);

    float x = 0;
    const double divisor = t - p * h * r;
    if (divisor != 0) Assign(x, Round((a - b) / divisor, 2));

    // What row n holds before its own redemption is all it can redeem.
    float onHand = 0;
    Assign(onHand, static_cast<double>(LeadingSingle(ledger, n, Column::HeldShares)) +
                       LeadingSingle(ledger, n, Column::RedeemShares));
    if (x > std::max(onHand, 0.0f)) x = std::max(onHand, 0.0f);
    return x;
}

TakeBackOffer OfferTakeBackPrincipal(const LedgerModel& ledger, const PlanSettings& settings,
                                     Mode mode) {
    TakeBackOffer offer;
    if (!LedgerHasData(ledger)) return offer;
    offer.shares = TakeBackPrincipalShares(ledger, settings);
    offer.sharesText = GeneralText(offer.shares);
    if (offer.shares == 0) {
        offer.kind = TakeBackOffer::Kind::Nothing;
    } else {
        offer.kind = mode == Mode::Fact ? TakeBackOffer::Kind::Book : TakeBackOffer::Kind::ShowOnly;
    }
    return offer;
}

void BookTakeBackPrincipal(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                           const TakeBackOffer& offer) {
    if (offer.kind != TakeBackOffer::Kind::Book || ledger.LastRow() == 0) return;
    ledger.SetCell(ledger.LastRow(), Column::RedeemShares, offer.sharesText);
    Recalculate(ledger, settings, mode);
}

float LowerHoldingCostShares(const LedgerModel& ledger, const PlanSettings& settings,
                             QStringView targetCost) {
    const int n = ledger.LastRow();
    const double p = LeadingSingle(ledger, n, Column::NetValue);
    const double r = NetOfRedeemFee(settings);
    const double t = ConvertedSingle(ledger, n - 1, Column::NetInvested);
    const double h = ConvertedSingle(ledger, n - 1, Column::HeldShares);
    const double k = ReadNumber(targetCost);

    // A target typed as the NAV the ledger shows is the NAV: P only holds single
    // precision, so compare at that precision, or "1.2345" would leave a
    // difference of a few 1e-8 and a result of billions of shares.
    const bool targetIsNav = Single(k) == p;

    float s = 0;
    if (r != 0 && !targetIsNav && p - k != 0) Assign(s, Round((t / r - h * k) / (p - k), 2));
    return s;
}

std::optional<QString> LowerHoldingCost(const LedgerModel& ledger, const PlanSettings& settings,
                                        QStringView targetCost) {
    if (!LedgerHasData(ledger)) return std::nullopt;
    return GeneralText(LowerHoldingCostShares(ledger, settings, targetCost));
}

}  // namespace tovira
