#include "gui/dialogs/download_progress_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/layout/twips.h"

namespace tovira {
namespace {

QString Kilobytes(qint64 bytes) { return QString::number((bytes + 1023) / 1024); }

}  // namespace

DownloadProgressDialog::DownloadProgressDialog(const QString& title, const QString& text,
                                               QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    setFont(WindowFont());
    auto* label = new QLabel(text, this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 0);
    bar_->setMinimumWidth(TwipsToPixels(4500));
    amount_ = new QLabel(this);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);

    auto* column = new QVBoxLayout(this);
    column->addWidget(label);
    column->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addWidget(amount_, 1);
    row->addWidget(cancel_);
    column->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void DownloadProgressDialog::SetBytes(qint64 received, qint64 total) {
    if (total > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::clamp<qint64>(received * 1000 / total, 0, 1000)));
        amount_->setText(
            QStringLiteral("已接收 %1 / %2 KB").arg(Kilobytes(received), Kilobytes(total)));
    } else {
        bar_->setRange(0, 0);
        amount_->setText(QStringLiteral("已接收 %1 KB").arg(Kilobytes(received)));
    }
}

QObject* DownloadProgressDialog::RequestOwner() {
    delete requestOwner_;
    requestOwner_ = new QObject(this);
    return requestOwner_;
}

void DownloadProgressDialog::reject() {
    // Deleted now, not later: an answer must not slip in before the window
    // is gone.
    delete requestOwner_;
    QDialog::reject();
}

}  // namespace tovira
