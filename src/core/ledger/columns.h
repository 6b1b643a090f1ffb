#pragma once
// The eighteen ledger columns: keys, captions and their widths on screen.

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace tovira {

enum class Column : int {
    ID,
    Date,
    NetValue,
    DailyChange,
    CumulativeChange,
    PurchaseAmount,
    ConfirmedShares,
    RedeemShares,
    RedeemAmount,
    HeldShares,
    MarketValue,
    NetInvested,
    Profit,
    ReturnPct,
    AverageCost,
    PurchaseStatus,
    RedeemStatus,
    DividendAction,
};

inline constexpr int kColumnCount = 18;

struct ColumnInfo {
    Column column;
    const char* key;      // "ID", "Date", ...
    const char* caption;  // UTF-8
    int widthTwips;       // width when shown (the view decides whether it is)
};

const std::array<ColumnInfo, kColumnCount>& Columns();
const ColumnInfo& ColumnOf(Column c);
QString ColumnKey(Column c);
std::optional<Column> ColumnByKey(QStringView key);

inline constexpr int Index(Column c) { return static_cast<int>(c); }

}  // namespace tovira
