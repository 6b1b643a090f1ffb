#include "gui/shell/qt_prompt.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace tovira {

PromptAnswer QtPrompt::Ask(const QString& text, const QString& caption, PromptButtons buttons,
                           PromptIcon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(caption);
    // Texts may carry what a server sent (a version, a fund name): never
    // read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
        case PromptIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case PromptIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case PromptIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case PromptIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case PromptIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    switch (buttons) {
        case PromptButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case PromptButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case PromptButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    // Chinese button texts, whatever the system's language.
    const std::pair<QMessageBox::StandardButton, const char*> texts[] = {
        {QMessageBox::Yes, "是(&Y)"},
        {QMessageBox::No, "否(&N)"},
        {QMessageBox::Cancel, "取消"},
        {QMessageBox::Ok, "确定"}};
    for (const auto& [which, buttonText] : texts) {
        if (QAbstractButton* b = box.button(which)) b->setText(QString::fromUtf8(buttonText));
    }
    // A question has no default answer: an Enter typed ahead (the end of a
    // fund code, say) must not answer it before it was read.
    if (buttons != PromptButtons::Ok) {
        for (QAbstractButton* b : box.buttons()) {
            if (auto* push = qobject_cast<QPushButton*>(b)) {
                push->setAutoDefault(false);
                push->setDefault(false);
            }
        }
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        default:
            return PromptAnswer::Ok;
    }
}

}  // namespace tovira
