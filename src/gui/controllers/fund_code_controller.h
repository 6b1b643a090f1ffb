#pragma once
// The fund code box: typing a code opens its plan, a real pick of the list
// (its pop-up or the arrow keys) does too, Ctrl+Delete removes the shown code
// from the query history (History.ini). It keeps the window title and the
// code the ledger belongs to.

#include <QObject>
#include <QString>
#include <functional>

#include "core/common/prompt.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"

class QComboBox;
class QWidget;

namespace tovira {

class FundCodeController : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        // Asks before unsaved work is lost; false when the user cancels.
        std::function<bool()> confirmDiscard;
        // Opens the plan file at this path in the shown mode.
        std::function<void(const QString& path)> openPlan;
        // The parameters were reset: the panel shows them again.
        std::function<void()> settingsReset;
        // A real pick of another fund: the shown estimate is not its.
        std::function<void()> fundPicked;
        // The fund code the ledger belongs to: the code its rows were
        // loaded, cleared or saved for.
        std::function<QString()> ledgerCode;
        std::function<void(const QString&)> setLedgerCode;
    };

    // window gets the title; box is the editable fund code box.
    FundCodeController(QWidget* window, QComboBox* box, const QString& programFolder,
                       LedgerModel& ledger, PlanSettings& settings, Hooks hooks);

    // The query history and the default code, as the window starts; the
    // ledger belongs to that code.
    void LoadHistory();
    // The path of the plan file of a code in the plan folder.
    QString PlanPathOf(const QString& code) const;
    // Shows a code in the box, the title and the history without loading its
    // plan (the caller loads it).
    void ShowFundCode(const QString& code);
    // A plan being opened names this fund: switch to it as typing would,
    // except while a typed code is being handled, so that two plans naming
    // each other cannot send the window round in circles.
    bool FollowPlanCode(const QString& code);
    void SetTitleFor(const QString& code);

    void OnFundCodeChanged(const QString& text);
    // The user typed into the box: only a whole code changes the fund.
    void OnFundCodeTyped(const QString& text);
    void OnFundCodePicked(int index);
    void OnFundCodeDelete();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetFundCodeText(const QString& text);
    void SaveHistory(bool removing = false);
    void ReloadFor(const QString& code);

    QWidget* window_;
    QComboBox* box_;
    QString programFolder_;
    LedgerModel& ledger_;
    PlanSettings& settings_;
    Hooks hooks_;
    bool handlingTypedCode_ = false;
    // The list was really picked from (its pop-up or the arrow keys), not
    // the focus leaving a box whose text matches an entry.
    bool codePickedByUser_ = false;
    // The watched parts of the box, kept as they were when watching began:
    // the filter sees events while the box is being torn down too.
    const QObject* line_ = nullptr;
    const QObject* list_ = nullptr;
    const QObject* listViewport_ = nullptr;
};

}  // namespace tovira
