#pragma once
// The fund code box: typing a code opens its plan, a real pick of the list
// (its pop-up or the arrow keys) does too, Ctrl+Delete removes the shown code
// from the query history (History.ini). What the box shows is the session's
// fund code; the controller keeps the window title, the code the ledger
// belongs to, and follows a plan that names another fund.

#include <QObject>
#include <QString>

#include "core/session/plan_session.h"

class QComboBox;
class QWidget;

namespace tovira {

class PlanCommands;

class FundCodeController : public QObject {
    Q_OBJECT
  public:
    // window gets the title; box is the editable fund code box; plans asks
    // the save question and opens the plan of a code.
    FundCodeController(QWidget* window, QComboBox* box, PlanSession& session, PlanCommands& plans);

    // The query history and the default code, as the window starts; the
    // ledger belongs to that code.
    void LoadHistory();
    // The path of the plan file of a code in the plan folder.
    QString PlanPathOf(const QString& code) const;
    // Shows a code in the box, the title and the history without loading its
    // plan (the caller loads it).
    void ShowFundCode(const QString& code);
    // The title for the session's fund code (after a directory update the
    // fund's name may have changed).
    void ShowTitle();
    void SetTitleFor(const QString& code);

    void OnFundCodeChanged(const QString& text);
    // The user typed into the box: only a whole code changes the fund.
    void OnFundCodeTyped(const QString& text);
    void OnFundCodePicked(int index);
    void OnFundCodeDelete();

  signals:
    // A real pick of another fund from the list.
    void FundPicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetFundCodeText(const QString& text);
    void SaveHistory(bool removing = false);
    void ReloadFor(const QString& code);
    // A plan being opened names this fund: switch to it as typing would,
    // except while a typed code is being handled, so that two plans naming
    // each other cannot send the window round in circles.
    void FollowPlanCode(const QString& code);

    QWidget* window_;
    QComboBox* box_;
    PlanSession& session_;
    PlanCommands& plans_;
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
