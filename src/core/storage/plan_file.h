#pragma once
// Plan files: one INI file per fund in the plan folder "我的基金", holding the
// plan settings and the input cells of every ledger row. The computed columns
// are never stored; opening a plan ends with a recalculation.

#include <QString>
#include <functional>

#include "core/engine/recalculate.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/common/prompt.h"

namespace tovira {

// Message texts of the plan commands.
inline const char* const kMsgSaved = "保存成功！";
inline const char* const kMsgSaveError = "保存时出现错误，请检查后重新保存！";
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

QString PlanFolder(const QString& programFolder);
// programFolder + "/我的基金/" + code + ".ini"
QString PlanFilePath(const QString& programFolder, const QString& fundCode);
// Six characters that read as a number as a whole: a fund code, six digits in
// practice.
bool IsFundCode(const QString& text);
// A fund code a plan file may be named after: digits only, not empty.
bool IsUsableFundCode(const QString& fundCode);

enum class SaveResult { Saved, NoRows, BadFundCode, Failed };

// Writes the plan of the shown fund code into its plan file and tells the user
// the outcome. currentPlanPath is pointed at that file first (also when
// nothing is saved). Keys and sections the save does not write survive; the
// file is replaced whole, never left half written.
SaveResult SavePlanFile(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                        const QString& programFolder, const QString& fundCode,
                        QString& currentPlanPath, Prompt& prompt);

struct OpenPlanOptions {
    Mode mode = Mode::Theory;
    // Called with the stored fund code ("设置"/"基金代码") at the point where
    // the window sets its fund code box; may clear the ledger and open
    // another plan. Not called when absent.
    std::function<void(const QString& storedFundCode)> setFundCode;
    // Whether the open ends with the recalculation (only measurements turn
    // it off).
    bool recalculate = true;
};

enum class OpenResult { NoFile, WrongFormat, TooManyRows, Opened };

// Loads the plan file at path into the settings and the ledger (rows 1..N are
// overwritten or appended, later rows left alone) and recalculates. A missing
// file (or anything that is not a regular file) does nothing; a path not
// ending in ".ini" and a row count above 32767 are reported, and nothing is
// changed.
OpenResult OpenPlanFile(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                        Prompt& prompt, const OpenPlanOptions& options);

// "U+1F600": how a message names a character that may not show.
QString CodePointText(const QString& character);

// Shows or hides the two redemption columns with the Redeem switch.
void ApplyRedeemColumns(LedgerModel& ledger, bool shown);

}  // namespace tovira
