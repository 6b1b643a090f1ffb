#include "core/engine/recalculate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "core/common/numbers.h"
#include "core/common/vector_state.h"

namespace tovira {
namespace {

// Plan parameters as read from the side panel when the pass starts.
struct Params {
    double purchaseFeePct, redeemFeePct, minRedeemShares, minKeepShares, totalCapital;
    double startSellPct, startBuyPct, multiple, multipleStep, riskPositionPct;
    bool buyFirst, redeem, growingTopUp, unlimitedCapital, reinvestDividends;

    explicit Params(const PlanSettings& s)
        : purchaseFeePct(s.Number(Field::PurchaseFeePct)),
          redeemFeePct(s.Number(Field::RedeemFeePct)),
          minRedeemShares(s.Number(Field::MinRedeemShares)),
          minKeepShares(s.Number(Field::MinKeepShares)),
          totalCapital(s.Number(Field::TotalCapital)),
          startSellPct(s.Number(Field::StartSellPct)),
          startBuyPct(s.Number(Field::StartBuyPct)),
          multiple(s.Number(Field::Multiple)),
          multipleStep(s.Number(Field::MultipleStep)),
          riskPositionPct(s.Number(Field::RiskPositionPct)),
          buyFirst(s.Checked(Switch::BuyFirst)),
          redeem(s.Checked(Switch::SellOnRises)),
          growingTopUp(s.Checked(Switch::GrowingTopUp)),
          unlimitedCapital(s.Checked(Switch::UnlimitedCapital)),
          reinvestDividends(s.Checked(Switch::ReinvestDividends)) {}
};

bool Finite(double v) { return std::isfinite(v); }

// A test one of whose sides cannot be formed (its narrowing to single
// precision overflowed, or it is not a number) fails, and a failing test
// counts as met: the step it guards runs.
bool Greater(double a, double b) { return !Finite(a) || !Finite(b) || a > b; }
bool GreaterOrEqual(double a, double b) { return !Finite(a) || !Finite(b) || a >= b; }
bool Less(double a, double b) { return !Finite(a) || !Finite(b) || a < b; }

}  // namespace

RowInput ReadRowInput(const LedgerModel& ledger, int row, Mode mode) {
    static const QString kNone;
    const bool fact = mode == Mode::Fact;
    return ReadRowInput(
        ledger.Cell(row, Column::NetValue), ledger.Cell(row, Column::PurchaseStatus),
        ledger.Cell(row, Column::RedeemStatus), ledger.Cell(row, Column::DividendAction),
        fact ? ledger.Cell(row, Column::PurchaseAmount) : kNone,
        fact ? ledger.Cell(row, Column::RedeemShares) : kNone, mode);
}

RowInput ReadRowInput(QStringView netValue, QStringView purchase, QStringView redeem,
                      QStringView action, QStringView typedPurchase, QStringView typedRedeem,
                      Mode mode) {
    static const QString kSuspendPurchase = QStringLiteral("暂停申购");
    static const QString kSuspendRedeem = QStringLiteral("暂停赎回");
    static const QString kClosed = QStringLiteral("封闭期");
    RowInput in;
    Assign(in.nav, ReadNumber(netValue));
    in.navDec = Dec(in.nav);
    in.purchaseBlocked = purchase == kSuspendPurchase || purchase == kClosed;
    in.redeemBlocked = redeem == kSuspendRedeem || redeem == kClosed;
    if (!action.isEmpty()) {
        const QStringView conversion(kConversionMarker);
        const QStringView dividend(kDividendMarker);
        in.dividendMarker = action.contains(dividend);
        // The value stands right after the marker, which the download writes
        // first: take it from the marker's length on, counted in characters.
        if (action.contains(conversion)) {
            in.action = DividendKind::Conversion;
            in.actionValue =
                ReadNumber(action.mid(std::min<qsizetype>(conversion.size(), action.size())));
        } else if (in.dividendMarker) {
            in.action = DividendKind::Dividend;
            in.actionValue =
                ReadNumber(action.mid(std::min<qsizetype>(dividend.size(), action.size())));
        }
    }
    if (mode == Mode::Fact) {
        Assign(in.typedPurchase, ReadNumber(typedPurchase));
        Assign(in.typedRedeem, ReadNumber(typedRedeem));
    }
    return in;
}

namespace {

// The reference pass (kReference) rounds through the C library and computes
// every step as the rules state it; the fast pass rounds inline and skips
// steps whose result is known to the bit. Both must give the same figures (a
// test runs both over every golden plan).
template <bool kReference>
double R(double x, int decimals) {
    return kReference ? RoundWithLibrary(x, decimals) : Round(x, decimals);
}

template <bool kReference>
void MarketRows(const LedgerInput& input, std::vector<RowMarket>& market) {
    const std::vector<RowInput>& rows = input.rows;
    const size_t n = rows.size();
    market.assign(n, RowMarket{});
    if (n == 0) return;
    // Row 1's Increase is the only daily change taken from the table.
    market[0].increase = input.firstIncrease;
    double conversionRatio = 1;
    double ttConversion = 1;
    float cashDividend = 0;
    float ttDividend = 0;
    const double firstNav = rows[0].nav;
    for (size_t i = 1; i < n; ++i) {
        const RowInput& in = rows[i];
        RowMarket& m = market[i];
        const double nav = in.nav;
        const double prevNav = rows[i - 1].nav;
        if (in.action == DividendKind::Conversion) {
            if (Finite(in.actionValue)) conversionRatio = in.actionValue;
            const double tt = ttConversion * conversionRatio;
            if (Finite(tt)) ttConversion = tt;
            Assign(m.increase, R<kReference>(nav * conversionRatio / prevNav * 100 - 100, 2));
        } else if (in.action == DividendKind::Dividend) {
            Assign(cashDividend, in.actionValue);
            const double cash = cashDividend;
            Assign(ttDividend, static_cast<double>(ttDividend) + cash);
            Assign(m.increase, R<kReference>(Single((cash + nav) / prevNav * 100 - 100), 2));
        } else {
            Assign(m.increase, R<kReference>(Single(nav / prevNav * 100 - 100), 2));
        }
        Assign(
            m.cumulativeChange,
            R<kReference>(
                (static_cast<double>(ttDividend) + nav) * ttConversion / firstNav * 100 - 100, 2));
        m.cashDividend = cashDividend;
        m.conversionRatio = conversionRatio;
        m.adjusted = (static_cast<double>(ttDividend) + in.nav) * ttConversion;
        m.adjustedRounded = R<kReference>(m.adjusted, 4);
    }
}

// One pass: the plan's state from row to row under one set of settings. A
// later row goes through its steps in order (Market, Decide, Amounts,
// Holdings, Values, Profit, Ratios); several passes may take each step in turn on
// the same row, since they do not depend on one another.
template <bool kReference>
class Pass {
  public:
    Pass(const Params& p, Mode mode) : p_(p), mode_(mode) {
        Assign(purchaseFactor_, 1 + p.purchaseFeePct / 100);
        Assign(redeemFactor_, 1 - p.redeemFeePct / 100);
        // The parts of the rules' tests that depend on the settings alone.
        startBuy_ = Single(p.startBuyPct);
        buyFirstLimit_ = R((p.startBuyPct - p.purchaseFeePct - p.redeemFeePct) * p.multiple, 2);
        startSell_ = Single(p.startSellPct / 100);
        minRedeem_ = Single(p.minRedeemShares);
        minKeep_ = Single(p.minKeepShares);
        capital_ = Single(p.totalCapital);
        // The new-low rule's test, startBuy >= adjusted / reference * 100 -
        // 100 narrowed to single precision, is monotonic in the ratio: a
        // ratio more than 1e-4 of its size off the threshold decides it
        // without the division (single precision is off by at most 6.1e-5
        // for a threshold within -99..1000; the margin is at least 1e-4).
        if (!kReference && std::isfinite(startBuy_) && startBuy_ >= -99 && startBuy_ <= 1000) {
            const double threshold = 1 + startBuy_ / 100;
            buyBelow_ = threshold * (1 - 1e-4);
            buyAbove_ = threshold * (1 + 1e-4);
            screenNewLow_ = true;
        }
    }

    void FirstRow(const RowInput& in, const RowMarket& m, RowFigures& r) {
        r = RowFigures{};
        referenceNav_ = in.nav;
        r.increase = m.increase;
        r.cumulativeChange = 0;
        if (mode_ == Mode::Theory) {
            if (r.increase >= 0) {
                purchaseWeight_ = 0;
            } else {
                Assign(purchaseWeight_, p_.multiple);
            }
            Assign(r.purchaseAmount, p_.totalCapital / 100);
            r.redeemShares = 0;
        } else if (mode_ == Mode::Fact) {
            r.purchaseAmount = in.typedPurchase;
            r.redeemShares = in.typedRedeem;
        }
        if (r.purchaseAmount != 0) lastPurchase_ = r.purchaseAmount;

        const double nav = in.nav;
        const double pf = purchaseFactor_;
        const double rf = redeemFactor_;
        Assign(r.purchaseShares, R(Single(r.purchaseAmount / pf / nav), 2));
        Assign(r.redeemAmount, R(Single(rf * r.redeemShares * nav), 2));
        r.holdShares = r.purchaseShares;
        Assign(r.marketValue, R(Single(nav * r.holdShares), 2));
        r.netInvested = r.purchaseAmount;
        principal_ = r.netInvested;
        Assign(r.profit, R(Single(rf * r.marketValue - r.netInvested), 2));
        Assign(r.returnPct, R(Single(static_cast<double>(r.profit) / r.netInvested * 100), 2));
        Assign(r.averageCost, R(Single(r.netInvested / rf / r.holdShares), 4));
    }

    // The day's changes and the return before the day's decisions.
    void Market(const RowInput& in, const RowMarket& m, RowFigures& r, const RowFigures& prev) {
        r = RowFigures{};
        r.increase = m.increase;
        r.cumulativeChange = m.cumulativeChange;
        if (in.action == DividendKind::Dividend) {
            const double prevHold = prev.holdShares;
            const double cash = m.cashDividend;
            Assign(principal_, R(Single(principal_ - cash * prevHold), 2));
        }
        // Only the rules of 理论计算 read the return. Without the add-first
        // rule only the new-low rule reads it, right after setting it anew:
        // it is worked out there, should that setting fail.
        if (mode_ != Mode::Theory) return;
        marketReturnDeferred_ = !kReference && !p_.buyFirst && !in.purchaseBlocked;
        if (!marketReturnDeferred_) MarketReturn(in, m, prev);
    }

    void MarketReturn(const RowInput& in, const RowMarket& m, const RowFigures& prev) {
        const double nav = in.nav;
        const double prevHold = prev.holdShares;
        const double prevTT = prev.netInvested;
        const double rf = redeemFactor_;
        if (in.action == DividendKind::Conversion) {
            SetReturn(R((prevHold * nav * m.conversionRatio * rf / prevTT - 1) * 100, 2));
        } else if (in.action == DividendKind::Dividend) {
            const double cash = m.cashDividend;
            SetReturn(R(Single(((cash + nav) * prevHold * rf / prevTT - 1) * 100), 2));
        } else {
            SetReturn(R(Single((prevHold * nav * rf / prevTT - 1) * 100), 2));
        }
    }

    // What the day buys and redeems.
    void Decide(const RowInput& in, const RowMarket& m, RowFigures& r, const RowFigures& prev) {
        if (mode_ == Mode::Theory) {
            PurchaseRule(in, m, r, prev);
            RedemptionRule(in, r, prev);
        } else if (mode_ == Mode::Fact) {
            r.purchaseAmount = in.typedPurchase;
            r.redeemShares = in.typedRedeem;
        }
        if (r.purchaseAmount != 0) lastPurchase_ = r.purchaseAmount;
    }

    // The shares the purchase confirms and the money the redemption pays. No
    // amount gives +0 when the divisors are positive, as the init holds.
    void Amounts(const RowInput& in, RowFigures& r) const {
        const double pf = purchaseFactor_;
        const double rf = redeemFactor_;
        if (kReference || r.purchaseAmount != 0 || !(pf > 0 && in.navDec > 0)) {
            Assign(r.purchaseShares, R(Dec(r.purchaseAmount) / pf / in.navDec, 2));
        }
        if (kReference || r.redeemShares != 0 || !(rf > 0 && in.navDec > 0)) {
            Assign(r.redeemAmount, R(in.navDec * Dec(r.redeemShares) * rf, 2));
        }
    }

    void Holdings(const RowInput& in, const RowMarket& m, RowFigures& r,
                  const RowFigures& prev) const {
        const double nav = in.nav;
        const double pf = purchaseFactor_;
        const double prevHold = prev.holdShares;
        if (in.action == DividendKind::Conversion) {
            Assign(r.holdShares, R(prevHold * m.conversionRatio, 2));
        } else if (in.action == DividendKind::Dividend && p_.reinvestDividends) {
            const double cash = m.cashDividend;
            Assign(r.holdShares, R(Single(r.purchaseShares + prevHold - r.redeemShares) +
                                       Single(cash * prevHold) / pf / nav,
                                   2));
        } else if (!kReference && r.purchaseShares == 0 && r.redeemShares == 0 && prevHold != 0) {
            // Nothing bought or redeemed: the holding stays. Every holding is
            // a figure rounded to 2 decimals, and rounding such a figure again
            // gives it back to the bit.
            r.holdShares = prev.holdShares;
        } else {
            Assign(r.holdShares, R(Single(r.purchaseShares + prevHold - r.redeemShares), 2));
        }
    }

    // Market value and money invested. prevRounded: the money
    // invested of the row before is a figure rounded to 2 decimals (that of
    // row 1 is the purchase as it stands).
    void Values(const RowInput& in, const RowMarket& m, RowFigures& r, const RowFigures& prev,
                bool prevRounded) {
        const double nav = in.nav;
        Assign(r.marketValue, R(Single(r.holdShares * nav), 2));
        if (in.dividendMarker && !p_.reinvestDividends) {
            const double cash = m.cashDividend;
            const double prevHold = prev.holdShares;
            Assign(r.netInvested,
                   R(Single(r.purchaseAmount + static_cast<double>(prev.netInvested) -
                            r.redeemAmount - cash * prevHold),
                     2));
        } else if (!kReference && prevRounded && r.purchaseAmount == 0 && r.redeemAmount == 0 &&
                   prev.netInvested != 0) {
            // No money in or out: rounding the rounded figure again keeps it.
            r.netInvested = prev.netInvested;
        } else {
            Assign(r.netInvested, R(Single(r.purchaseAmount +
                                           static_cast<double>(prev.netInvested) - r.redeemAmount),
                                    2));
        }
        if (r.netInvested > principal_) principal_ = r.netInvested;
    }

    void Profit(RowFigures& r) const {
        const double rf = redeemFactor_;
        Assign(r.profit, R(Single(rf * r.marketValue - r.netInvested), 2));
    }

    // Return and average cost (the search does without them).
    void Ratios(RowFigures& r) const {
        const double rf = redeemFactor_;
        // A non-zero figure keeps a non-zero decimal form.
        if (r.profit == 0) {
            r.returnPct = 0;
        } else {
            Assign(r.returnPct, R(Single(static_cast<double>(r.profit) / r.netInvested * 100), 2));
        }
        if (r.holdShares == 0) {
            r.averageCost = 0;
        } else {
            Assign(r.averageCost, R(Single(r.netInvested / rf / r.holdShares), 4));
        }
    }

  private:
    static double R(double x, int decimals) { return tovira::R<kReference>(x, decimals); }

    void RenewWeight(const RowMarket& m) {
        if (purchaseWeight_ == 0) {
            Assign(purchaseWeight_, p_.multiple);
        } else {
            Assign(purchaseWeight_, static_cast<double>(purchaseWeight_) + p_.multipleStep);
        }
        Assign(referenceNav_, m.adjustedRounded);
    }

    void PurchaseRule(const RowInput& in, const RowMarket& m, RowFigures& r,
                      const RowFigures& prev) {
        const double adj = m.adjusted;
        const double prevTT = prev.netInvested;
        const double startBuy = startBuy_;
        bool decided = false;
        if (in.purchaseBlocked) {
            purchaseWeight_ = 0;
            decided = true;
        } else if (p_.buyFirst) {
            // Add-first rule: buy on every fall while the plan is under water,
            // up to the risk-control position.
            if (!GreaterOrEqual(startBuy, r.increase)) {
                purchaseWeight_ = 0;
                decided = true;
            } else if (Greater(Return(), buyFirstLimit_)) {
                purchaseWeight_ = 0;
                decided = true;
            } else {
                // Here a failing test counts as not met: without a position
                // (no capital) the new-low rule decides.
                const double position = prevTT / p_.totalCapital * 100;
                if (Finite(position) && Finite(p_.riskPositionPct) &&
                    p_.riskPositionPct > position) {
                    RenewWeight(m);
                    decided = true;
                }
            }
        }
        if (!decided) {
            // New-low rule: buy when the adjusted value is far enough below
            // the value at the last purchase decision.
            if (NewLowMet(in, m, prev, adj)) {
                RenewWeight(m);
            } else {
                purchaseWeight_ = 0;
            }
        }

        // No weight buys nothing: +0, as the row starts.
        const bool noWeight = purchaseWeight_ == 0 && !std::signbit(purchaseWeight_);
        if (lastPurchase_ != 0 && (kReference || !(noWeight && lastPurchase_ > 0))) {
            Assign(r.purchaseAmount,
                   R(Single(purchaseWeight_ * static_cast<double>(lastPurchase_)), 2));
        }
        if (p_.growingTopUp && r.purchaseAmount != 0) {
            const double share = Dec(r.purchaseAmount) / prevTT;
            if (Less(share, 0.33)) {
                Assign(r.purchaseAmount, R(Single(prevTT / 3), 2));
            }
        }
        if (!p_.unlimitedCapital &&
            Less(capital_, Single(static_cast<double>(r.purchaseAmount) + prevTT))) {
            Assign(r.purchaseAmount, R(p_.totalCapital - prevTT, 2));
        }
    }

    // The new-low rule's test: startBuy >= the return on the reference
    // value, which becomes the current return.
    bool NewLowMet(const RowInput& in, const RowMarket& m, const RowFigures& prev, double adj) {
        const double reference = referenceNav_;
        if (screenNewLow_ && reference >= 1e-6 && std::fabs(adj) <= 1e20) {
            // The ratio stays below 1e26: the return is finite and fits
            // single precision, so setting it cannot fail. It is worked out
            // when something reads it.
            const bool below = adj <= reference * buyBelow_;
            if (below || adj >= reference * buyAbove_) {
                pendingAdjusted_ = adj;
                pendingReference_ = reference;
                returnPending_ = true;
                return below;
            }
        }
        if (!SetReturn(Single(adj / reference * 100 - 100)) && marketReturnDeferred_) {
            MarketReturn(in, m, prev);
        }
        return GreaterOrEqual(startBuy_, Return());
    }

    // The current return, worked out if it was left pending.
    float Return() {
        if (returnPending_) {
            Assign(currentReturn_, Single(pendingAdjusted_ / pendingReference_ * 100 - 100));
            returnPending_ = false;
        }
        return currentReturn_;
    }

    // Sets the current return; a value that cannot be stored keeps the one
    // before (pending or not).
    bool SetReturn(double value) {
        if (!Assign(currentReturn_, value)) return false;
        returnPending_ = false;
        return true;
    }

    void RedemptionRule(const RowInput& in, RowFigures& r, const RowFigures& prev) {
        if (!p_.redeem || in.redeemBlocked) {
            r.redeemShares = 0;
            return;
        }
        const double nav = in.nav;
        const double prevHold = prev.holdShares;
        const double rf = redeemFactor_;
        const double ratio = Single(prevHold * nav * rf / prev.netInvested - 1);
        if (Greater(startSell_, ratio)) {
            r.redeemShares = 0;
        } else {
            Assign(r.redeemShares, R(Single(prevHold - principal_ / rf / nav), 2));
        }
        if (Greater(minRedeem_, r.redeemShares)) r.redeemShares = 0;
        if (Greater(minKeep_, Single(prevHold - r.redeemShares))) {
            r.redeemShares = 0;
        }
    }

    const Params& p_;
    const Mode mode_;
    float purchaseFactor_ = 0;
    float redeemFactor_ = 0;
    double startBuy_ = 0;
    double buyFirstLimit_ = 0;
    double startSell_ = 0;
    double minRedeem_ = 0;
    double minKeep_ = 0;
    double capital_ = 0;
    float purchaseWeight_ = 0;
    float currentReturn_ = 0;
    // A current return not worked out yet: pendingAdjusted_ /
    // pendingReference_ * 100 - 100, known to fit.
    bool returnPending_ = false;
    double pendingAdjusted_ = 0;
    double pendingReference_ = 1;
    bool marketReturnDeferred_ = false;  // this row's market return is not worked out
    bool screenNewLow_ = false;
    double buyBelow_ = 0;
    double buyAbove_ = 0;
    float referenceNav_ = 0;
    float principal_ = 0;
    float lastPurchase_ = 0;  // the most recent non-zero purchase amount
};

// Where a walk keeps its rows: every row, in one vector per pass.
template <int K>
class KeepRows {
  public:
    KeepRows(std::vector<RowFigures>* const* figures, size_t n) {
        for (int k = 0; k < K; ++k) {
            figures[k]->resize(n);
            rows_[k] = figures[k]->data();
        }
    }
    RowFigures& Current(int k, size_t i) { return rows_[k][i]; }
    const RowFigures& Previous(int k, size_t i) const { return rows_[k][i - 1]; }
    void Done(int, size_t) {}
    void Finish(size_t) {}

  private:
    std::array<RowFigures*, K> rows_{};
};

// ... or only the row before, summed up as the walk goes.
template <int K>
class SummarizeRows {
  public:
    explicit SummarizeRows(PassSummary* summaries) {
        for (int k = 0; k < K; ++k) {
            summaries_[k] = &summaries[k];
        }
    }
    RowFigures& Current(int k, size_t i) { return slots_[k][i & 1]; }
    const RowFigures& Previous(int k, size_t i) const { return slots_[k][(i - 1) & 1]; }
    void Done(int k, size_t i) { summaries_[k]->Add(static_cast<int>(i), slots_[k][i & 1]); }
    void Finish(size_t n) {
        for (int k = 0; k < K; ++k) summaries_[k]->Finish(slots_[k][(n - 1) & 1]);
    }

  private:
    std::array<std::array<RowFigures, 2>, K> slots_{};
    std::array<PassSummary*, K> summaries_{};
};

// K passes over the same rows, step by step: each step of a row is taken by
// every pass before the next step, so the processor finds independent work
// beside each pass's chain of divisions.
template <int K, bool kReference, class Rows>
void Walk(const LedgerInput& input, const std::vector<RowMarket>& market,
          Pass<kReference>* const* passes, Rows& rows, bool ratios) {
    const std::vector<RowInput>& in = input.rows;
    const size_t n = in.size();
    if (n == 0) return;
    for (int k = 0; k < K; ++k) {
        passes[k]->FirstRow(in[0], market[0], rows.Current(k, 0));
        rows.Done(k, 0);
    }
    for (size_t i = 1; i < n; ++i) {
        const RowInput& day = in[i];
        const RowMarket& m = market[i];
        for (int k = 0; k < K; ++k) {
            passes[k]->Market(day, m, rows.Current(k, i), rows.Previous(k, i));
        }
        for (int k = 0; k < K; ++k) {
            passes[k]->Decide(day, m, rows.Current(k, i), rows.Previous(k, i));
        }
        for (int k = 0; k < K; ++k) passes[k]->Amounts(day, rows.Current(k, i));
        for (int k = 0; k < K; ++k) {
            passes[k]->Holdings(day, m, rows.Current(k, i), rows.Previous(k, i));
        }
        for (int k = 0; k < K; ++k) {
            passes[k]->Values(day, m, rows.Current(k, i), rows.Previous(k, i), i > 1);
        }
        for (int k = 0; k < K; ++k) passes[k]->Profit(rows.Current(k, i));
        if (ratios) {
            for (int k = 0; k < K; ++k) passes[k]->Ratios(rows.Current(k, i));
        }
        for (int k = 0; k < K; ++k) rows.Done(k, i);
    }
    rows.Finish(n);
}

// Writes one figure's text. Unchanged cells are left alone, and a text equal
// to the same column's text in the row above shares that string, so a long
// ledger of mostly repeated figures stays small in memory.
class FigureWriter {
  public:
    explicit FigureWriter(LedgerModel& ledger) : ledger_(ledger) {}

    void Write(int row, Column key, float value) {
        char buf[kGeneralTextMax];
        const int len = GeneralTextTo(value, buf);
        const QLatin1StringView text(buf, len);
        QString& above = above_[static_cast<size_t>(Index(key))];
        const QString& current = ledger_.Cell(row, key);
        if (current == text) {
            above = current;
        } else if (above == text) {
            ledger_.SetComputedCell(row, key, above);
        } else {
            above = QString(text);
            ledger_.SetComputedCell(row, key, above);
        }
    }

    void WriteSigned(int row, Column key, float value) {
        Write(row, key, value);
        ledger_.SetCellColour(row, key, value > 0 ? kRed : kGreen);
    }

  private:
    LedgerModel& ledger_;
    std::array<QString, kColumnCount> above_;
};

}  // namespace

LedgerInput ReadLedgerInput(const LedgerModel& ledger, Mode mode) {
    LedgerInput input;
    input.mode = mode;
    const int n = ledger.LastRow();
    if (n == 0) return input;
    input.rows.reserve(static_cast<size_t>(n));
    for (int row = 1; row <= n; ++row) input.rows.push_back(ReadRowInput(ledger, row, mode));
    Assign(input.firstIncrease, ReadNumber(ledger.Cell(1, Column::DailyChange)));
    return input;
}

namespace {

template <bool kReference>
void RunPass(const LedgerInput& input, const PlanSettings& settings,
             std::vector<RowFigures>& figures) {
    std::vector<RowMarket> market;
    MarketRows<kReference>(input, market);
    const Params params(settings);
    Pass<kReference> pass(params, input.mode);
    Pass<kReference>* const passes[] = {&pass};
    std::vector<RowFigures>* const outputs[] = {&figures};
    KeepRows<1> rows(outputs, input.rows.size());
    Walk<1>(input, market, passes, rows, true);
}

template <int K>
void WalkTogether(const LedgerInput& input, const std::vector<RowMarket>& market,
                  const PlanSettings* const* settings, PassSummary* summaries) {
    std::array<std::optional<Params>, K> params;
    std::array<std::optional<Pass<false>>, K> passes;
    std::array<Pass<false>*, K> lanes{};
    for (int k = 0; k < K; ++k) {
        params[k].emplace(*settings[k]);
        passes[k].emplace(*params[k], input.mode);
        lanes[k] = &*passes[k];
    }
    SummarizeRows<K> rows(summaries);
    Walk<K>(input, market, lanes.data(), rows, false);
}

// The walk for `count` passes, 1 <= count <= K, with the count known to the
// compiler.
template <int K>
void WalkGroup(int count, const LedgerInput& input, const std::vector<RowMarket>& market,
               const PlanSettings* const* settings, PassSummary* summaries) {
    if constexpr (K > 0) {
        if (count == K) {
            WalkTogether<K>(input, market, settings, summaries);
        } else {
            WalkGroup<K - 1>(count, input, market, settings, summaries);
        }
    }
}

}  // namespace

void ComputeFigures(const LedgerInput& input, const PlanSettings& settings,
                    std::vector<RowFigures>& figures, PassPath path) {
    ClearUpperVectorState();
    if (path == PassPath::Reference) {
        RunPass<true>(input, settings, figures);
    } else {
        RunPass<false>(input, settings, figures);
    }
}

std::vector<RowMarket> MarketFigures(const LedgerInput& input) {
    std::vector<RowMarket> market;
    MarketRows<false>(input, market);
    return market;
}

void PassSummary::Clear() {
    netInvestedChanges.clear();
    purchases = 0;
    redemptions = 0;
    maxNetInvested = 0;
    worstProfit = 0;
    lastProfit = 0;
    lastMarketValue = 0;
}

void PassSummary::Finish(const RowFigures& last) {
    lastProfit = last.profit;
    lastMarketValue = last.marketValue;
}

PassSummary SummarizeFigures(const std::vector<RowFigures>& figures) {
    PassSummary summary;
    for (size_t i = 0; i < figures.size(); ++i) summary.Add(static_cast<int>(i), figures[i]);
    if (!figures.empty()) summary.Finish(figures.back());
    return summary;
}

void SummarizePassesTogether(const LedgerInput& input, const std::vector<RowMarket>& prepared,
                             const PlanSettings* const* settings, PassSummary* summaries,
                             int count) {
    std::vector<RowMarket> own;
    if (prepared.size() != input.rows.size()) MarketRows<false>(input, own);
    const std::vector<RowMarket>& market = own.empty() ? prepared : own;
    WalkGroup<kPassesTogether>(std::clamp(count, 0, kPassesTogether), input, market, settings,
                               summaries);
}

void Recalculate(LedgerModel& ledger, const PlanSettings& settings, Mode mode) {
    const int n = ledger.LastRow();
    if (n == 0) return;
    std::vector<RowFigures> figures;
    ComputeFigures(ReadLedgerInput(ledger, mode), settings, figures);

    BulkUpdate bulk(ledger);
    FigureWriter w(ledger);
    for (int row = 1; row <= n; ++row) {
        const RowFigures& f = figures[static_cast<size_t>(row - 1)];
        w.WriteSigned(row, Column::DailyChange, f.increase);
        w.Write(row, Column::CumulativeChange, f.cumulativeChange);
        w.Write(row, Column::PurchaseAmount, f.purchaseAmount);
        w.Write(row, Column::ConfirmedShares, f.purchaseShares);
        w.Write(row, Column::RedeemShares, f.redeemShares);
        w.Write(row, Column::RedeemAmount, f.redeemAmount);
        w.Write(row, Column::HeldShares, f.holdShares);
        w.Write(row, Column::MarketValue, f.marketValue);
        w.Write(row, Column::NetInvested, f.netInvested);
        w.Write(row, Column::Profit, f.profit);
        w.WriteSigned(row, Column::ReturnPct, f.returnPct);
        w.Write(row, Column::AverageCost, f.averageCost);
    }
}

}  // namespace tovira
