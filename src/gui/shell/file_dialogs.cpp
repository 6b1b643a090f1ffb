#include "gui/shell/file_dialogs.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QScreen>
#include <QStringList>
#include <QTreeView>
#include <algorithm>

#include "gui/layout/twips.h"

namespace tovira {

namespace {

// 800 × 500 pixels at 96 dpi: the names beside size, type and date.
constexpr double kDialogWidthTwips = 12000;
constexpr double kDialogHeightTwips = 7500;

QString Choose(QWidget* parent, const QString& caption, const QString& path, const QString& filter,
               QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, caption, path, filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.resize(FileDialogSize(&dialog));
    // The list's size, type and date show whole; the name takes the rest.
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        for (int column = 0; column < header->count(); ++column) {
            header->setSectionResizeMode(
                column, column == 0 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
        }
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

}  // namespace

QSize FileDialogSize(const QWidget* dialog) {
    QSize size(TwipsToPixels(kDialogWidthTwips), TwipsToPixels(kDialogHeightTwips));
    const QWidget* shownOver = dialog->parentWidget() ? dialog->parentWidget() : dialog;
    if (const QScreen* screen = shownOver->screen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        size = size.boundedTo(room);
    }
    return size.expandedTo(dialog->minimumSizeHint());
}

QString DialogFileChooser::OpenPlan(QWidget* parent) {
    return Choose(parent, QStringLiteral("打开"), QString(), QStringLiteral("ini文件 (*.ini)"),
                  QFileDialog::AcceptOpen);
}

QString DialogFileChooser::SaveCsv(QWidget* parent, const QString& proposedName) {
    return Choose(parent, QStringLiteral("导出数据"), proposedName,
                  QStringLiteral("csv文件 (*.csv)"), QFileDialog::AcceptSave);
}

}  // namespace tovira
