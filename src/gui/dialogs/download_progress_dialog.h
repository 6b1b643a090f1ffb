#pragma once
// A small window beside the main window while a download runs: what is being
// fetched, how much has come, and 取消.

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tovira {

class DownloadProgressDialog : public QDialog {
    Q_OBJECT
  public:
    DownloadProgressDialog(const QString& title, const QString& text, QWidget* parent = nullptr);

    QProgressBar* ProgressBar() const { return bar_; }
    QLabel* AmountLabel() const { return amount_; }
    QPushButton* CancelButton() const { return cancel_; }

    // received bytes of total; total -1 (not announced) makes the bar a busy one.
    void SetBytes(qint64 received, qint64 total);

    // The owner to give the download: 取消, Esc or closing the window deletes
    // it at once, which aborts the download before any of it is used.
    QObject* RequestOwner();

    void reject() override;

  private:
    QProgressBar* bar_;
    QLabel* amount_;
    QPushButton* cancel_;
    QPointer<QObject> requestOwner_;
};

}  // namespace tovira
