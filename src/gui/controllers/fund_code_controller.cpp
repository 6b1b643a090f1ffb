#include "gui/controllers/fund_code_controller.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QWidget>
#include <utility>

#include "core/storage/fund_selection.h"
#include "core/storage/plan_file.h"
#include "gui/controllers/plan_commands.h"

namespace tovira {

FundCodeController::FundCodeController(QWidget* window, QComboBox* box, PlanSession& session,
                                       PlanCommands& plans)
    : QObject(window), window_(window), box_(box), session_(session), plans_(plans) {
    setObjectName(QStringLiteral("fundCodeController"));
    box_->setInsertPolicy(QComboBox::NoInsert);
    box_->setToolTip(QStringLiteral("6位纯数字基金代码，Ctrl+Delete删除当前"));
    // Whatever the box shows, however it came there, is the code worked
    // with (read when it is announced: a handler may have changed it since).
    connect(box_->lineEdit(), &QLineEdit::textChanged, this,
            [this] { session_.SetFundCode(box_->currentText()); });
    session_.SetFundCode(box_->currentText());
    connect(&session_, &PlanSession::PlanNamesFund, this, &FundCodeController::FollowPlanCode);
    connect(box_->lineEdit(), &QLineEdit::textEdited, this, &FundCodeController::OnFundCodeTyped);
    connect(box_, qOverload<int>(&QComboBox::activated), this,
            &FundCodeController::OnFundCodePicked);
    line_ = box_->lineEdit();
    list_ = box_->view();
    listViewport_ = box_->view()->viewport();
    box_->lineEdit()->installEventFilter(this);
    box_->installEventFilter(this);
    // A pick from the pop-up list: its click or its Enter key.
    box_->view()->installEventFilter(this);
    box_->view()->viewport()->installEventFilter(this);
}

void FundCodeController::LoadHistory() {
    {
        const QSignalBlocker blocker(box_);
        box_->addItems(LoadQueryHistory(session_.ProgramFolder()));
        box_->setEditText(QStringLiteral("210009"));
    }
    SetTitleFor(box_->currentText());
    session_.SetLedgerCode(box_->currentText());
}

QString FundCodeController::PlanPathOf(const QString& code) const {
    return PlanFilePath(session_.ProgramFolder(), code);
}

void FundCodeController::ShowTitle() { SetTitleFor(session_.FundCode()); }

void FundCodeController::SetTitleFor(const QString& code) {
    window_->setWindowTitle(WindowTitle(code, FundName(session_.ProgramFolder(), code)));
}

void FundCodeController::SaveHistory(bool removing) {
    QStringList entries;
    for (int i = 0; i < box_->count(); ++i) entries << box_->itemText(i);
    SaveQueryHistory(session_.ProgramFolder(), entries, removing);
}

void FundCodeController::ReloadFor(const QString& code) {
    session_.Ledger().ClearRows();
    session_.SetLedgerCode(code);
    plans_.OpenPlan(PlanPathOf(code), session_.ShownMode());
}

void FundCodeController::ShowFundCode(const QString& text) {
    {
        const QSignalBlocker blocker(box_);
        const int at = box_->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (at >= 0) box_->removeItem(at);
        box_->insertItem(0, text);
        box_->setEditText(text);
    }
    SaveHistory();
    SetTitleFor(text);
    session_.SetLedgerCode(text);
}

void FundCodeController::FollowPlanCode(const QString& code) {
    // The session counts it followed when the box moved to the code.
    if (code == box_->currentText() || handlingTypedCode_) return;
    SetFundCodeText(code);
}

void FundCodeController::SetFundCodeText(const QString& text) {
    if (box_->currentText() == text) return;
    {
        const QSignalBlocker blocker(box_);
        box_->setEditText(text);
    }
    OnFundCodeChanged(text);
}

void FundCodeController::OnFundCodeTyped(const QString& text) {
    // A code on its way ("1", "16172") is no fund yet: the plan shown stays,
    // nothing is asked and nothing reloaded until the text is a whole code
    // other than the one the rows belong to.
    if (!IsFundCode(text) || text == session_.LedgerCode()) return;
    OnFundCodeChanged(text);
}

void FundCodeController::OnFundCodeChanged(const QString& text) {
    if (!plans_.ConfirmDiscard()) {
        // Cancel: the box shows the code the ledger belongs to again.
        const QSignalBlocker blocker(box_);
        box_->setEditText(session_.LedgerCode());
        return;
    }
    // A plan opened below that names another fund is followed once; the
    // plan of that fund is not followed further.
    const bool outer = !std::exchange(handlingTypedCode_, true);
    if (IsFundCode(text)) {
        SetTitleFor(text);
        session_.ResetSettings();
        // Move the code to the top of the list, keeping what the box shows.
        const int cursor = box_->lineEdit()->cursorPosition();
        const QSignalBlocker blocker(box_);
        const int at = box_->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (at >= 0) box_->removeItem(at);
        box_->insertItem(0, text);
        box_->setEditText(text);
        box_->lineEdit()->setCursorPosition(cursor);
    }
    SaveHistory();
    ReloadFor(box_->currentText());
    if (outer) handlingTypedCode_ = false;
}

void FundCodeController::OnFundCodePicked(int index) {
    // The box also announces a "pick" when the focus leaves it while its
    // text matches an entry; that is no pick and changes nothing.
    if (!std::exchange(codePickedByUser_, false)) return;
    const QString text = box_->itemText(index);
    const bool confirmed = plans_.ConfirmDiscard();
    {
        const QSignalBlocker blocker(box_);
        box_->setEditText(confirmed ? text : session_.LedgerCode());
    }
    if (!confirmed) return;
    if (IsFundCode(text)) {
        SetTitleFor(text);
        emit FundPicked();
    }
    // The panel shows the defaults once the plan of the pick is loaded.
    session_.Settings().ApplyPreset(Preset::Default);
    ReloadFor(text);
}

void FundCodeController::OnFundCodeDelete() {
    const QString text = box_->currentText();
    const int at = box_->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (at < 0) return;
    if (!plans_.ConfirmDiscard()) return;
    {
        const QSignalBlocker blocker(box_);
        box_->removeItem(at);
        box_->setEditText(text);
    }
    // The shorter list replaces the file whole, in one step: a write that
    // fails leaves the old list as it was.
    SaveHistory(true);
    session_.Ledger().ClearRows();
    // Emptying the box runs its change handling once more.
    SetFundCodeText(QString());
}

bool FundCodeController::eventFilter(QObject* watched, QEvent* event) {
    // Note the real picks of the list: a click or Enter in its pop-up, the
    // arrow keys on the box. The pick is announced while the event is
    // handled; the mark does not outlive it.
    bool pick = false;
    if (watched == listViewport_ && event->type() == QEvent::MouseButtonRelease) {
        pick = true;
    } else if ((watched == list_ || watched == box_) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        pick = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Up ||
               key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
        if (watched == box_ && (key == Qt::Key_Return || key == Qt::Key_Enter)) pick = false;
    }
    if (pick) {
        codePickedByUser_ = true;
        QTimer::singleShot(0, this, [this] { codePickedByUser_ = false; });
    }
    if ((watched == box_ || watched == line_) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            OnFundCodeDelete();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tovira
