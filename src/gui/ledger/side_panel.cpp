#include "gui/ledger/side_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <optional>
#include <utility>

#include "core/common/numbers.h"
#include "gui/layout/twips.h"

namespace tovira {

namespace {

size_t Index(Field f) { return static_cast<size_t>(f); }
size_t Index(Switch s) { return static_cast<size_t>(s); }

// Geometry in twips, the panel itself at the origin; the frames and the toggle
// sit where the window's layout puts them, the rest is our own grid.
constexpr int kPanelWidth = 2415;
constexpr int kPanelHeight = 9255;
constexpr int kOptionsTop = 240;
constexpr int kOptionsHeight = 1815;
constexpr int kParametersTop = 2160;
constexpr int kParametersHeight = 7095;
constexpr int kToggleLeft = 2160;
constexpr int kToggleWidth = 240;
constexpr int kToggleHeight = 255;

// Inside the frames: below the frame title, a margin on either side.
constexpr int kInnerLeft = 105;
constexpr int kInnerRight = kPanelWidth - 105;
constexpr int kFirstRowTop = 330;
constexpr int kControlHeight = 330;

// Frame "选项": two columns of check boxes.
constexpr int kSwitchPitch = 345;
constexpr int kSwitchColumnWidth = (kInnerRight - kInnerLeft) / 2;

// Frame "参数": one row per box, caption on the left.
constexpr int kFieldPitch = 480;
constexpr int kCaptionWidth = 1170;
constexpr int kBoxLeft = kInnerLeft + kCaptionWidth + 15;
constexpr int kSpinWidth = 210;

// The switches in reading order, row by row: the take-profit alert and the
// break alert that replaces it side by side, then the purchase rules, then
// the rest.
std::array<Switch, kSwitchCount> SwitchesInReadingOrder() {
    std::array<Switch, kSwitchCount> order{};
    for (const SwitchInfo& info : Switches()) order[Index(info.sw)] = info.sw;
    std::stable_sort(order.begin(), order.end(), [](Switch a, Switch b) {
        const SwitchInfo& x = SwitchOf(a);
        const SwitchInfo& y = SwitchOf(b);
        return std::make_pair(x.panelRow, x.panelColumn) <
               std::make_pair(y.panelRow, y.panelColumn);
    });
    return order;
}

}  // namespace

SidePanel::SidePanel(PlanSettings& settings, Prompt& prompt, QWidget* parent)
    : QWidget(parent), settings_(settings), prompt_(prompt) {
    setObjectName(QStringLiteral("sidePanel"));
    setFont(WindowFont());
    // The panel slides over the ledger's place; paint it fully.
    setAutoFillBackground(true);
    resize(TwipsRect(0, 0, kPanelWidth, kPanelHeight).size());

    auto* options = new QGroupBox(QStringLiteral("选项"), this);
    options->setObjectName(QStringLiteral("switchesGroup"));
    options->setGeometry(TwipsRect(0, kOptionsTop, kPanelWidth, kOptionsHeight));
    // Created in reading order, so Tab walks them row by row.
    for (const Switch s : SwitchesInReadingOrder()) {
        const SwitchInfo& info = SwitchOf(s);
        auto* box = new QCheckBox(QString::fromUtf8(info.caption), options);
        box->setObjectName(QString::fromLatin1(info.objectName));
        if (*info.tooltip) box->setToolTip(QString::fromUtf8(info.tooltip));
        box->setGeometry(TwipsRect(kInnerLeft + info.panelColumn * kSwitchColumnWidth,
                                   kFirstRowTop + info.panelRow * kSwitchPitch, kSwitchColumnWidth,
                                   kControlHeight));
        connect(box, &QCheckBox::clicked, this, [this, s](bool checked) {
            if (syncing_) return;
            settings_.SetChecked(s, checked);
            // A handler may have changed other switches (止盈提醒 unticks
            // 破位止盈), so show every state again.
            SyncStates();
            emit SwitchClicked(s, checked);
            emit EditedByUser();
        });
        switches_[Index(s)] = box;
    }

    auto* parameters = new QGroupBox(QStringLiteral("参数"), this);
    parameters->setObjectName(QStringLiteral("parametersGroup"));
    parameters->setGeometry(TwipsRect(0, kParametersTop, kPanelWidth, kParametersHeight));

    auto rowTop = [](int row) { return kFirstRowTop + row * kFieldPitch; };
    auto addCaption = [&](const QString& text, int row) {
        auto* label = new QLabel(text, parameters);
        label->setGeometry(TwipsRect(kInnerLeft, rowTop(row), kCaptionWidth, kControlHeight));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return label;
    };

    // The fund code box: the main window fills its history and reacts to it.
    QLabel* fundCaption = addCaption(QStringLiteral("基金代码"), 0);
    fundCode_ = new QComboBox(parameters);
    fundCode_->setObjectName(QStringLiteral("fundCodeBox"));
    fundCode_->setEditable(true);
    // The history list is kept by the window; Enter must not add entries.
    fundCode_->setInsertPolicy(QComboBox::NoInsert);
    fundCode_->setEditText(QStringLiteral("210009"));
    fundCode_->setToolTip(QStringLiteral("6位纯数字基金代码，Ctrl+Delete删除当前"));
    fundCode_->setGeometry(TwipsRect(kBoxLeft, rowTop(0), kInnerRight - kBoxLeft, kControlHeight));
    fundCaption->setBuddy(fundCode_);

    for (const FieldInfo& info : Fields()) {
        const Field f = info.field;
        const int row = static_cast<int>(f) + 1;
        QLabel* caption = addCaption(QString::fromUtf8(FieldCaptionText(f)), row);
        auto* box = new QLineEdit(QString(), parameters);
        box->setObjectName(QString::fromLatin1(info.objectName));
        box->setToolTip(QString::fromUtf8(info.tooltip));
        caption->setBuddy(box);
        const bool spins = SpinOf(f).has_value();
        const int boxWidth = kInnerRight - kBoxLeft - (spins ? kSpinWidth : 0);
        box->setGeometry(TwipsRect(kBoxLeft, rowTop(row), boxWidth, kControlHeight));
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this,
                [this, f](const QString& text) { OnTextEdited(f, text); });
        connect(box, &QLineEdit::editingFinished, this, [this, f] { FinishTyping(f); });
        boxes_[Index(f)] = box;
        captions_[Index(f)] = caption;

        if (spins) {
            // Up over down, filling the box's height like a spin box's buttons.
            const QRect area =
                TwipsRect(kBoxLeft + boxWidth, rowTop(row), kSpinWidth, kControlHeight);
            const int upHeight = area.height() / 2;
            auto makeButton = [&](Qt::ArrowType arrow, bool up) {
                auto* button = new QToolButton(parameters);
                button->setArrowType(arrow);
                button->setAutoRepeat(true);
                // Clicking the buttons must not take the focus (and validate).
                button->setFocusPolicy(Qt::NoFocus);
                connect(button, &QToolButton::clicked, this, [this, f, up] { OnSpin(f, up); });
                return button;
            };
            QToolButton* upButton = makeButton(Qt::UpArrow, true);
            QToolButton* downButton = makeButton(Qt::DownArrow, false);
            upButton->setGeometry(area.left(), area.top(), area.width(), upHeight);
            downButton->setGeometry(area.left(), area.top() + upHeight, area.width(),
                                    area.height() - upHeight);
            spinUp_[Index(f)] = upButton;
            spinDown_[Index(f)] = downButton;
        }
    }

    toggle_ = new QLabel(QStringLiteral(" 《"), this);
    toggle_->setObjectName(QStringLiteral("panelToggle"));
    toggle_->setGeometry(TwipsRect(kToggleLeft, 0, kToggleWidth, kToggleHeight));
    toggle_->setCursor(Qt::PointingHandCursor);
    toggle_->installEventFilter(this);
    toggle_->raise();

    SyncFromSettings();
}

void SidePanel::SyncFromSettings() {
    syncing_ = true;
    for (const FieldInfo& info : Fields()) {
        QLineEdit* box = boxes_[Index(info.field)];
        const QString& text = settings_.Text(info.field);
        // Leave an unchanged box alone (its cursor and undo history).
        if (box->text() != text) box->setText(text);
    }
    syncing_ = false;
    SyncStates();
}

void SidePanel::SyncStates() {
    syncing_ = true;
    for (const FieldInfo& info : Fields()) {
        const Field f = info.field;
        boxes_[Index(f)]->setEnabled(settings_.Enabled(ControlOf(f)));
        const std::optional<Control> label = CaptionOf(f);
        captions_[Index(f)]->setEnabled(!label || settings_.Enabled(*label));
        if (const std::optional<Control> spin = SpinOf(f)) {
            spinUp_[Index(f)]->setEnabled(settings_.Enabled(*spin));
            spinDown_[Index(f)]->setEnabled(settings_.Enabled(*spin));
        }
    }
    for (const SwitchInfo& info : Switches()) {
        QCheckBox* box = switches_[Index(info.sw)];
        box->setChecked(settings_.Checked(info.sw));
        box->setEnabled(settings_.Enabled(ControlOf(info.sw)));
    }
    syncing_ = false;
}

void SidePanel::OnTextEdited(Field f, const QString& text) {
    if (syncing_) return;
    emit EditedByUser();
    // A clamped box is not rewritten while the user types into it: "-",
    // "1." or "1" on the way to "1.5" would otherwise be replaced and the
    // next key land in the replacement. The settings take each complete
    // number (clamped to the bounds); the box shows the settled text when
    // the edit ends.
    if (PlanSettings::Clamp(f, text) == text || StrictNumber(text)) settings_.SetText(f, text);
}

void SidePanel::FinishTyping(Field f) {
    QLineEdit* box = boxes_[Index(f)];
    if (syncing_ || box->text() == settings_.Text(f)) return;
    settings_.SetText(f, box->text());
    if (box->text() != settings_.Text(f)) box->setText(settings_.Text(f));
}

void SidePanel::FinishTyping() {
    for (const FieldInfo& info : Fields()) FinishTyping(info.field);
}

void SidePanel::OnSpin(Field f, bool up) {
    FinishTyping(f);
    emit EditedByUser();
    settings_.Spin(f, up);
    QLineEdit* box = boxes_[Index(f)];
    if (box->text() != settings_.Text(f)) box->setText(settings_.Text(f));
}

void SidePanel::Validate(Field f) {
    QLineEdit* box = boxes_[Index(f)];
    const std::optional<QString> message = PlanSettings::Validate(f, box->text());
    if (!message) return;
    // The message box and the refocus below move the focus around; none of
    // those moves may validate again, or two bad boxes would take the focus
    // from each other for ever.
    validating_ = true;
    prompt_.Inform(*message);
    QTimer::singleShot(0, this, [this, box = QPointer<QLineEdit>(box)] {
        if (box && box->isEnabled() && box->isVisible()) {
            box->setFocus(Qt::OtherFocusReason);
            box->selectAll();
        }
        validating_ = false;
    });
}

bool SidePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == toggle_) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                toggle_->rect().contains(mouse->position().toPoint())) {
                emit ToggleClicked();
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }
    // The boxes with spin buttons also answer the Up and Down keys and the
    // mouse wheel with their steps.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel) {
        for (const FieldInfo& info : Fields()) {
            const Field f = info.field;
            if (watched != boxes_[Index(f)] || !spinUp_[Index(f)] ||
                !spinUp_[Index(f)]->isEnabled())
                continue;
            int direction = 0;
            if (event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                direction = key == Qt::Key_Up ? 1 : key == Qt::Key_Down ? -1 : 0;
            } else {
                const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
                direction = delta > 0 ? 1 : delta < 0 ? -1 : 0;
            }
            if (direction == 0) break;
            OnSpin(f, direction > 0);
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut && !validating_) {
        const auto* focus = static_cast<QFocusEvent*>(event);
        // Switching to another application or opening a menu leaves the box
        // focused within the window: that is not leaving it.
        const bool leaves = focus->reason() != Qt::ActiveWindowFocusReason &&
                            focus->reason() != Qt::PopupFocusReason;
        for (const FieldInfo& info : Fields()) {
            QLineEdit* box = boxes_[Index(info.field)];
            // A box that was just switched off is not checked either.
            if (watched == box && leaves && box->isEnabled()) Validate(info.field);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovira
