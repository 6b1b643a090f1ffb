#include "core/engine/recalculate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/common/numbers.h"

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

class Pass {
  public:
    Pass(const Params& p, Mode mode) : p_(p), mode_(mode) {
        Assign(purchaseFactor_, 1 + p.purchaseFeePct / 100);
        Assign(redeemFactor_, 1 - p.redeemFeePct / 100);
    }

    void Run(const std::vector<RowInput>& in, std::vector<RowFigures>& out) {
        const size_t n = in.size();
        out.assign(n, RowFigures{});
        if (n == 0) return;
        FirstRow(in[0], out[0]);
        for (size_t i = 1; i < n; ++i) {
            LaterRow(in[i], out[i], in[i - 1], out[i - 1], in[0]);
        }
    }

    // Row 1's Increase is the only daily change taken from the table.
    float firstIncrease = 0;

  private:
    void FirstRow(const RowInput& in, RowFigures& r) {
        referenceNav_ = in.nav;
        r.increase = firstIncrease;
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
        Assign(r.purchaseShares, Round(Single(r.purchaseAmount / pf / nav), 2));
        Assign(r.redeemAmount, Round(Single(rf * r.redeemShares * nav), 2));
        r.holdShares = r.purchaseShares;
        Assign(r.marketValue, Round(Single(nav * r.holdShares), 2));
        r.netInvested = r.purchaseAmount;
        principal_ = r.netInvested;
        Assign(r.profit, Round(Single(rf * r.marketValue - r.netInvested), 2));
        Assign(r.returnPct, Round(Single(static_cast<double>(r.profit) / r.netInvested * 100), 2));
        Assign(r.averageCost, Round(Single(r.netInvested / rf / r.holdShares), 4));
    }

    void LaterRow(const RowInput& in, RowFigures& r, const RowInput& prevIn, const RowFigures& prev,
                  const RowInput& first) {
        MarketStep(in, r, prevIn, prev, first);
        if (mode_ == Mode::Theory) {
            PurchaseRule(in, r, prev);
            RedemptionRule(in, r, prev);
        } else if (mode_ == Mode::Fact) {
            r.purchaseAmount = in.typedPurchase;
            r.redeemShares = in.typedRedeem;
        }
        if (r.purchaseAmount != 0) lastPurchase_ = r.purchaseAmount;
        Bookkeeping(in, r, prev);
    }

    void MarketStep(const RowInput& in, RowFigures& r, const RowInput& prevIn,
                    const RowFigures& prev, const RowInput& first) {
        const double nav = in.nav;
        const double prevNav = prevIn.nav;
        const double prevHold = prev.holdShares;
        const double prevTT = prev.netInvested;
        const double rf = redeemFactor_;
        if (in.action == DividendKind::Conversion) {
            if (Finite(in.actionValue)) conversionRatio_ = in.actionValue;
            const double tt = ttConversion_ * conversionRatio_;
            if (Finite(tt)) ttConversion_ = tt;
            Assign(r.increase, Round(nav * conversionRatio_ / prevNav * 100 - 100, 2));
            Assign(currentReturn_,
                   Round((prevHold * nav * conversionRatio_ * rf / prevTT - 1) * 100, 2));
        } else if (in.action == DividendKind::Dividend) {
            Assign(cashDividend_, in.actionValue);
            const double cash = cashDividend_;
            Assign(ttDividend_, static_cast<double>(ttDividend_) + cash);
            Assign(r.increase, Round(Single((cash + nav) / prevNav * 100 - 100), 2));
            Assign(principal_, Round(Single(principal_ - cash * prevHold), 2));
            Assign(currentReturn_,
                   Round(Single(((cash + nav) * prevHold * rf / prevTT - 1) * 100), 2));
        } else {
            Assign(r.increase, Round(Single(nav / prevNav * 100 - 100), 2));
            Assign(currentReturn_, Round(Single((prevHold * nav * rf / prevTT - 1) * 100), 2));
        }
        Assign(
            r.cumulativeChange,
            Round((static_cast<double>(ttDividend_) + nav) * ttConversion_ / first.nav * 100 - 100,
                  2));
    }

    void RenewWeight(double adj) {
        if (purchaseWeight_ == 0) {
            Assign(purchaseWeight_, p_.multiple);
        } else {
            Assign(purchaseWeight_, static_cast<double>(purchaseWeight_) + p_.multipleStep);
        }
        Assign(referenceNav_, Round(adj, 4));
    }

    void PurchaseRule(const RowInput& in, RowFigures& r, const RowFigures& prev) {
        const double adj = (static_cast<double>(ttDividend_) + in.nav) * ttConversion_;
        const double prevTT = prev.netInvested;
        const double startBuy = Single(p_.startBuyPct);
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
            } else if (Greater(currentReturn_,
                               Round((p_.startBuyPct - p_.purchaseFeePct - p_.redeemFeePct) *
                                         p_.multiple,
                                     2))) {
                purchaseWeight_ = 0;
                decided = true;
            } else {
                // Here a failing test counts as not met: without a position
                // (no capital) the new-low rule decides.
                const double position = prevTT / p_.totalCapital * 100;
                if (Finite(position) && Finite(p_.riskPositionPct) &&
                    p_.riskPositionPct > position) {
                    RenewWeight(adj);
                    decided = true;
                }
            }
        }
        if (!decided) {
            // New-low rule: buy when the adjusted value is far enough below
            // the value at the last purchase decision.
            Assign(currentReturn_, Single(adj / referenceNav_ * 100 - 100));
            if (GreaterOrEqual(startBuy, currentReturn_)) {
                RenewWeight(adj);
            } else {
                purchaseWeight_ = 0;
            }
        }

        if (lastPurchase_ != 0) {
            Assign(r.purchaseAmount,
                   Round(Single(purchaseWeight_ * static_cast<double>(lastPurchase_)), 2));
        }
        if (p_.growingTopUp && r.purchaseAmount != 0) {
            const double share = Dec(r.purchaseAmount) / prevTT;
            if (Less(share, 0.33)) {
                Assign(r.purchaseAmount, Round(Single(prevTT / 3), 2));
            }
        }
        if (!p_.unlimitedCapital &&
            Less(Single(p_.totalCapital), Single(static_cast<double>(r.purchaseAmount) + prevTT))) {
            Assign(r.purchaseAmount, Round(p_.totalCapital - prevTT, 2));
        }
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
        if (Greater(Single(p_.startSellPct / 100), ratio)) {
            r.redeemShares = 0;
        } else {
            Assign(r.redeemShares, Round(Single(prevHold - principal_ / rf / nav), 2));
        }
        if (Greater(Single(p_.minRedeemShares), r.redeemShares)) r.redeemShares = 0;
        if (Greater(Single(p_.minKeepShares), Single(prevHold - r.redeemShares))) {
            r.redeemShares = 0;
        }
    }

    void Bookkeeping(const RowInput& in, RowFigures& r, const RowFigures& prev) {
        const double nav = in.nav;
        const double pf = purchaseFactor_;
        const double rf = redeemFactor_;
        const double prevHold = prev.holdShares;
        const double cash = cashDividend_;
        Assign(r.purchaseShares, Round(Dec(r.purchaseAmount) / pf / in.navDec, 2));
        Assign(r.redeemAmount, Round(in.navDec * Dec(r.redeemShares) * rf, 2));
        if (in.action == DividendKind::Conversion) {
            Assign(r.holdShares, Round(prevHold * conversionRatio_, 2));
        } else if (in.action == DividendKind::Dividend && p_.reinvestDividends) {
            Assign(r.holdShares, Round(Single(r.purchaseShares + prevHold - r.redeemShares) +
                                           Single(cash * prevHold) / pf / nav,
                                       2));
        } else {
            Assign(r.holdShares, Round(Single(r.purchaseShares + prevHold - r.redeemShares), 2));
        }
        Assign(r.marketValue, Round(Single(r.holdShares * nav), 2));
        if (in.dividendMarker && !p_.reinvestDividends) {
            Assign(r.netInvested,
                   Round(Single(r.purchaseAmount + static_cast<double>(prev.netInvested) -
                                r.redeemAmount - cash * prevHold),
                         2));
        } else {
            Assign(r.netInvested,
                   Round(Single(r.purchaseAmount + static_cast<double>(prev.netInvested) -
                                r.redeemAmount),
                         2));
        }
        if (r.netInvested > principal_) principal_ = r.netInvested;
        Assign(r.profit, Round(Single(rf * r.marketValue - r.netInvested), 2));
        // A non-zero figure keeps a non-zero decimal form.
        if (r.profit == 0) {
            r.returnPct = 0;
        } else {
            Assign(r.returnPct,
                   Round(Single(static_cast<double>(r.profit) / r.netInvested * 100), 2));
        }
        if (r.holdShares == 0) {
            r.averageCost = 0;
        } else {
            Assign(r.averageCost, Round(Single(r.netInvested / rf / r.holdShares), 4));
        }
    }

    const Params& p_;
    const Mode mode_;
    float purchaseFactor_ = 0;
    float redeemFactor_ = 0;
    double conversionRatio_ = 1;
    double ttConversion_ = 1;
    float cashDividend_ = 0;
    float ttDividend_ = 0;
    float purchaseWeight_ = 0;
    float currentReturn_ = 0;
    float referenceNav_ = 0;
    float principal_ = 0;
    float lastPurchase_ = 0;  // the most recent non-zero purchase amount
};

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

void ComputeFigures(const LedgerInput& input, const PlanSettings& settings,
                    std::vector<RowFigures>& figures) {
    const Params params(settings);
    Pass pass(params, input.mode);
    pass.firstIncrease = input.firstIncrease;
    pass.Run(input.rows, figures);
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
