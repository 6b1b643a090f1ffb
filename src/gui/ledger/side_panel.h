#pragma once
// The side panel ("sidePanel"): the option check boxes (frame "选项"), the fund
// code box and the parameter boxes with their spin buttons (frame "参数"),
// and the toggle that slides the panel shut and open. It is a view of
// PlanSettings: typing clamps through the settings, leaving a box validates
// it, the check boxes run the switch handlers, and SyncFromSettings shows
// what code (presets, plan files) changed.

#include <QWidget>
#include <array>

#include "core/common/prompt.h"
#include "core/ledger/plan_settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tovira {

class SidePanel : public QWidget {
    Q_OBJECT
  public:
    SidePanel(PlanSettings& settings, Prompt& prompt, QWidget* parent = nullptr);

    // The editable fund code box ("fundCodeBox") at the top of frame "参数".
    QComboBox* FundCodeBox() const { return fundCode_; }
    QLineEdit* Box(Field f) const { return boxes_[static_cast<size_t>(f)]; }
    QLabel* Caption(Field f) const { return captions_[static_cast<size_t>(f)]; }
    QCheckBox* SwitchBox(Switch s) const { return switches_[static_cast<size_t>(s)]; }
    // Up and down buttons of a spin control (nullptr for fields without one).
    QToolButton* SpinUp(Field f) const { return spinUp_[static_cast<size_t>(f)]; }
    QToolButton* SpinDown(Field f) const { return spinDown_[static_cast<size_t>(f)]; }
    // The toggle ("panelToggle"): " 《" while the panel is open, "  》" while shut.
    QLabel* Toggle() const { return toggle_; }

    // Shows the settings' texts, switch states and enabled states.
    void SyncFromSettings();
    // Ends typing in the boxes: a number still being typed gets its full
    // change reaction (bounds and pattern) before a command reads the plan.
    void FinishTyping();

  signals:
    // The toggle was clicked.
    void ToggleClicked();
    // A switch was clicked by the user (after its handler ran).
    void SwitchClicked(tovira::Switch s, bool checked);
    // The user changed a parameter or a switch (typing, spinning, clicking);
    // not raised when code sets the settings.
    void EditedByUser();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Check states and enabled states only (the texts stay as they are).
    void SyncStates();
    void OnTextEdited(Field f, const QString& text);
    void OnSpin(Field f, bool up);
    void FinishTyping(Field f);
    void Validate(Field f);

    PlanSettings& settings_;
    Prompt& prompt_;
    QComboBox* fundCode_ = nullptr;
    QLabel* toggle_ = nullptr;
    std::array<QLineEdit*, kFieldCount> boxes_{};
    std::array<QLabel*, kFieldCount> captions_{};
    std::array<QToolButton*, kFieldCount> spinUp_{};
    std::array<QToolButton*, kFieldCount> spinDown_{};
    std::array<QCheckBox*, kSwitchCount> switches_{};
    bool validating_ = false;
    bool syncing_ = false;
};

}  // namespace tovira
