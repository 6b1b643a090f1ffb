#include "core/ledger/columns.h"

namespace tovira {

const std::array<ColumnInfo, kColumnCount>& Columns() {
    static const std::array<ColumnInfo, kColumnCount> kColumns = {{
        {Column::ID, "ID", "ID", 500},
        {Column::Date, "Date", "日期", 1170},
        {Column::NetValue, "NetValue", "净值", 900},
        {Column::DailyChange, "Increase", "涨幅(%)", 900},
        {Column::CumulativeChange, "TTIncrease", "累涨(%)", 900},
        {Column::PurchaseAmount, "PurchaseAmount", "申购金额", 1000},
        {Column::ConfirmedShares, "PurchaseShares", "确认份额", 1000},
        {Column::RedeemShares, "RedeemShares", "赎回份额", 1000},
        {Column::RedeemAmount, "RedeemAmount", "确认金额", 1000},
        {Column::HeldShares, "HoldShares", "持有份额", 1000},
        {Column::MarketValue, "MarketValue", "资产市值", 1000},
        {Column::NetInvested, "TTPurchase", "总投入", 1000},
        {Column::Profit, "Profit", "净盈亏", 1000},
        {Column::ReturnPct, "ROProfit", "收益(%)", 900},
        {Column::AverageCost, "AverageValue", "持仓成本", 1000},
        {Column::PurchaseStatus, "PurchaseEnabled", "申购状态", 1000},
        {Column::RedeemStatus, "RedeemEnabled", "赎回状态", 1000},
        {Column::DividendAction, "RedConversion", "分红配送", 3000},
    }};
    return kColumns;
}

const ColumnInfo& ColumnOf(Column c) { return Columns()[static_cast<size_t>(c)]; }

QString ColumnKey(Column c) { return QString::fromLatin1(ColumnOf(c).key); }

std::optional<Column> ColumnByKey(QStringView key) {
    for (const ColumnInfo& info : Columns()) {
        if (key == QLatin1String(info.key)) return info.column;
    }
    return std::nullopt;
}

}  // namespace tovira
