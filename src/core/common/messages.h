#pragma once
// What the plan commands report, in one place: the results the core returns
// (a code and, where there is one, the detail the message names) and the
// texts the window and the command line show for them. The core itself never
// talks to the user.

#include <QString>

namespace tovira {

// Plan files.
inline const char* const kMsgSaved = "保存成功！";
inline const char* const kMsgSaveError = "保存时出现错误，请检查后重新保存！";
// The plan file holds the new plan, but the disk did not confirm the write.
inline const char* const kMsgSavedUnconfirmed =
    "已保存，但磁盘没有确认写入完成，请检查磁盘后再保存一次！";
inline const char* const kMsgNoRowsToSave = "列表无数据，未保存！";
inline const char* const kMsgBadFundCode = "基金代码有误，请更正！";
inline const char* const kMsgWrongFormat = "文件格式不对，请重新选择！";
inline const char* const kMsgClearFirst = "请保存现有数据并清空列表";
// A save refused for a character GBK cannot hold: row, column caption,
// character and its code point.
inline const char* const kMsgUnsavableCell = "第%1行「%2」含有无法保存的字符“%3”（%4），未保存！";
// The same in a setting: its name, the character and its code point.
inline const char* const kMsgUnsavableSetting = "「%1」含有无法保存的字符“%2”（%3），未保存！";
// A plan file whose row count the ledger cannot hold.
inline const char* const kMsgTooManyRows = "计划有%1行，超过列表最多容纳的32767行，无法打开！";
// A plan file that exists but cannot be read (no permission, gone meanwhile).
inline const char* const kMsgPlanUnreadable = "无法读取方案文件：%1，未打开！";
inline const char* const kMsgSaveQuestion = "是否保存数据？";
// Another program (another window, a command-line append) wrote the plan file
// after this one read it.
inline const char* const kMsgPlanChangedOnDisk = "方案文件已被其他程序修改，未保存！";
inline const char* const kMsgPlanChangedQuestion =
    "方案文件在读入后已被其他程序修改。\n"
    "是：重新载入文件中的方案（放弃本窗口未保存的修改）\n"
    "否：用本窗口的方案覆盖文件\n"
    "取消：暂不保存";
inline const char* const kMsgQuestionCaption = "提示";
inline const char* const kMsgOfferCopy =
    "“我的基金”中没有基金%1的计划，是否将此计划复制到“我的基金”？";
inline const char* const kMsgCopyFailed = "复制失败，计划仍从原位置打开！";
// A plan file named on the command line that is not there.
inline const char* const kMsgPlanFileMissing = "找不到计划文件：%1";
inline const char* const kMsgImportFirst = "请导入净值！";

// Export.
inline const char* const kMsgNoData = "数据不足！";
// An export refused for a character GBK cannot hold: row, column caption,
// character and its code point.
inline const char* const kMsgUnexportableCell =
    "第%1行「%2」含有无法导出的字符“%3”（%4），未导出！";
inline const char* const kMsgExportFailed = "导出失败，请检查文件是否被其他程序占用！";
// A command-line output that would replace a plan file (the one read, or any
// other): the output's path.
inline const char* const kMsgOutputIsPlan = "输出文件是方案文件：%1，未写入！";

// Calculators.
// Shown under the shares to redeem in 理论计算, where the plan's own rules
// decide every redemption and nothing typed into the ledger would stay.
inline const char* const kMsgTakeBackTheoryOnly =
    "理论计算下仅供参考，如需填入列表请切换到实际操作。";
inline const char* const kMsgTakeBackCaption = "赎回提示";

// Market data.
inline const char* const kMsgImportOnFilled = "请保存现有数据并清空列表!";
inline const char* const kMsgNoStartDate = "没有开始日期，请先导入净值！";
inline const char* const kMsgAppendDiscarded = "列表已更换，下载的净值没有加入！";
inline const char* const kMsgRowLimit = "列表最多容纳32767行，已达上限，其余日期未能加入！";
inline const char* const kMsgEstimateFailed =
    "无法获取估值，请检查网络是否正常或代码是否正确，或者更换基金公司！";
inline const char* const kMsgEstimateTimedOut =
    "获取估值超时，请检查网络是否正常，或者更换基金公司！";
inline const char* const kMsgNavFailed = "出错了，没有获取到日期区间内的净值！";
inline const char* const kMsgNavTimedOut = "连接超时，没有获取到日期区间内的净值！";
inline const char* const kMsgNavOverTime = "下载用时超过上限，没有获取到全部日期区间内的净值！";
// Why a NAV history download failed; %1 is the detail the failure names.
inline const char* const kMsgNavNetwork = "无法连接净值数据源（%1），没有获取到日期区间内的净值！";
inline const char* const kMsgNavTls =
    "与净值数据源的安全连接（HTTPS）失败（%1），没有获取到日期区间内的净值！"
    "请检查系统时间和根证书（ca-certificates）。";
inline const char* const kMsgNavHttpStatus =
    "净值数据源返回错误（HTTP %1），没有获取到日期区间内的净值！";
inline const char* const kMsgNavMoved =
    "净值数据源的地址已变更（转到 %1），没有获取到日期区间内的净值！请检查 Config.ini "
    "中的服务器地址。";
inline const char* const kMsgNavNotData =
    "净值数据源返回的不是净值数据（可能是网页或地址已变更），没有获取到日期区间内的净值！";
inline const char* const kMsgNavMalformed =
    "净值数据源返回的数据不完整或格式有误，没有获取到日期区间内的净值！";
inline const char* const kMsgNavBadRow =
    "净值数据源返回的记录有误（%1），没有获取到日期区间内的全部净值！";
// What kMsgNavBadRow names for a day whose date or unit NAV does not read:
// the cell's text; the day and the NAV cell's text.
inline const char* const kMsgNavNotADate = "“%1”不是日期";
inline const char* const kMsgNavNotANav = "%1 的单位净值“%2”不是净值";
inline const char* const kMsgNavRefused =
    "净值数据源拒绝了请求（错误码 %1），没有获取到日期区间内的净值！";
inline const char* const kMsgNavMoneyFund =
    "这是货币基金：它公布的是每万份收益而不是单位净值，无法回测，未导入！";
inline const char* const kMsgNavIncomplete =
    "净值数据源返回的页不完整，没有获取到全部日期区间内的净值！";
// The NAV endpoint failed: offer the trend script, which has no statuses.
inline const char* const kMsgNavOfferTrend =
    "净值接口无法访问，是否改用基金走势数据（没有申购赎回状态）？";
inline const char* const kMsgNavFromTrend =
    "已从基金走势数据导入净值。走势数据没有申购赎回状态，这些单元格为空，请自行核对。";
inline const char* const kMsgDirectoryUpdated = "更新成功！";
inline const char* const kMsgDirectoryFailed = "更新失败！";
inline const char* const kMsgDirectoryTimedOut = "连接超时，更新失败！";
// tovira-cli import into a plan that has rows, without --replace.
inline const char* const kMsgPlanHasRows = "计划已有数据，未导入！如需替换请加 --replace";
// tovira-cli import --replace: typed amounts on days the new rows do not
// hold (how many, the first day).
inline const char* const kMsgTypedDaysLost =
    "计划中有%1天手工输入的申购金额或赎回份额不在新下载的日期中（最早 %2），未导入！"
    "如需丢弃这些输入请加 --discard-typed";
// tovira-cli import into an existing file that is no plan: its path.
inline const char* const kMsgNotAPlanFile = "不是方案文件：%1，未导入！";
// A date on the command line: the text given.
inline const char* const kMsgBadDate = "日期应写成 YYYY-MM-DD：%1";
inline const char* const kMsgStartAfterEnd = "开始日期不能晚于截止日期！";
// Parameter search.
inline const char* const kMsgSweepBadAxis = "参数范围应写成 名称=起点:终点:步长";
inline const char* const kMsgSweepUnknownParameter = "没有这个参数：";
inline const char* const kMsgSweepBadNumber = "起点、终点和步长必须是数字";
inline const char* const kMsgSweepStepNotPositive = "步长必须大于0";
inline const char* const kMsgSweepToBelowFrom = "终点不能小于起点";
inline const char* const kMsgSweepTooManyCells = "组合超过1000000个，请缩小范围或加大步长";
inline const char* const kMsgSweepSameParameter = "两个参数不能相同";
inline const char* const kMsgSweepClamped = "超出输入框范围或格式，按输入框的规则改为：";
// A parameter-search cell names a parameter whose box is greyed out: its caption.
inline const char* const kMsgSearchBoxDisabled = "「%1」目前不可修改，未填入！";
// A heat-map cell of a search made on another fund's plan.
inline const char* const kMsgSearchOtherPlan = "寻优结果属于基金%1的计划，请重新开始寻优！";

// ChangedOnDisk: the plan file was changed by another program after it was
// read; it is left as that program wrote it.
// SavedUnconfirmed: the plan file holds the plan, but the disk did not
// confirm the write (a crash may still bring the old file back).
enum class SaveResult {
    Saved,
    NoRows,
    BadFundCode,
    Unsavable,
    Failed,
    ChangedOnDisk,
    SavedUnconfirmed
};
struct SaveOutcome {
    SaveResult result = SaveResult::Failed;
    // The plan file the save was for (empty when the fund code was unusable).
    QString path;
    // Unsavable: the message naming the character and its place.
    QString detail;
    bool Saved() const { return result == SaveResult::Saved; }
    // The plan file holds the plan, confirmed or not.
    bool Written() const {
        return result == SaveResult::Saved || result == SaveResult::SavedUnconfirmed;
    }
};

enum class OpenResult { NoFile, WrongFormat, TooManyRows, Unreadable, Opened };
struct OpenOutcome {
    OpenResult result = OpenResult::NoFile;
    // TooManyRows: the row count the file claims; Unreadable: the path.
    QString detail;
};

enum class ExportResult { Exported, NoData, Unexportable, Failed };
struct ExportOutcome {
    ExportResult result = ExportResult::Failed;
    // Unexportable: the message naming the character and its place.
    QString detail;
};

// What the take-back-principal command offers.
struct TakeBackOffer {
    enum class Kind {
        NoData,    // the ledger has no rows
        Nothing,   // the shares come to 0
        ShowOnly,  // not 实际操作: the figure is only shown
        Book,      // 实际操作: asked whether to book the shares
    };
    Kind kind = Kind::NoData;
    float shares = 0;
    QString sharesText;  // as it would be written into the ledger
};

// The text shown for a result; empty when there is nothing to tell (a plan
// file that is not there, one opened, a finished export).
QString MessageFor(const SaveOutcome& outcome);
QString MessageFor(const OpenOutcome& outcome);
QString MessageFor(const ExportOutcome& outcome);
// The figure, the theory-only note or the question of TakeBackOffer::Book.
QString MessageFor(const TakeBackOffer& offer);

}  // namespace tovira
