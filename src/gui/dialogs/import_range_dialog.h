#pragma once
// "选择日期": the start and end dates of a NAV history import.

#include <QDate>
#include <QDialog>
#include <QPointer>

class QCalendarWidget;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tovira {

class ImportRangeDialog : public QDialog {
    Q_OBJECT
  public:
    ImportRangeDialog(const QDate& today, QWidget* parent = nullptr);

    QDate Start() const;
    QDate End() const;
    QCalendarWidget* StartCalendar() const { return monthView1_; }
    QCalendarWidget* EndCalendar() const { return monthView2_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLabel* StartLabel() const { return label3_; }
    QLabel* EndLabel() const { return label4_; }
    QProgressBar* ProgressBar() const { return progress_; }

    // While a download runs the dates and OK are locked, so the import
    // cannot be started twice. The progress bar shows meanwhile, busy
    // until the first page tells how many the range takes.
    void SetBusy(bool busy);
    // pagesDone of pages received.
    void SetProgress(int pagesDone, int pages);

    // The owner to give the download: 取消, Esc or closing the window
    // deletes it at once, which aborts the download before any of it is
    // used or reported.
    QObject* RequestOwner();

    void reject() override;

  signals:
    // OK was clicked.
    void Accepted(const QDate& start, const QDate& end);

  private:
    QCalendarWidget* monthView1_;
    QCalendarWidget* monthView2_;
    QLabel* label3_;
    QLabel* label4_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QProgressBar* progress_;
    QPointer<QObject> requestOwner_;
};

}  // namespace tovira
