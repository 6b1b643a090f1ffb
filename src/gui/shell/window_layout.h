#pragma once
// Where the window's parts sit, in twips: the side panel and its slide, the
// mode buttons and the top bar that move with it, and the ledger that takes
// the rest of the client area.

#include <QObject>
#include <QPoint>

class QRadioButton;
class QTimer;
class QWidget;

namespace tovira {

class SidePanel;

struct LayoutWidgets {
    QWidget* central = nullptr;  // the client area
    SidePanel* panel = nullptr;
    QRadioButton* theory = nullptr;
    QRadioButton* fact = nullptr;
    QWidget* topBar = nullptr;
    QWidget* ledger = nullptr;
    QWidget* chart = nullptr;
};

class WindowLayout : public QObject {
    Q_OBJECT
  public:
    // The panel's toggle starts the slide.
    WindowLayout(const LayoutWidgets& widgets, QObject* parent);

    void Apply();
    // The client area changed size; windowPos is where the window now is.
    void Resized(const QPoint& windowPos);
    // Where the window was last seen, for its return from the tray.
    QPoint SavedPosition() const;
    // One tick of the panel slide.
    void SlideStep();

  private:
    LayoutWidgets w_;
    QTimer* slideTimer_ = nullptr;
    double panelLeft_ = 0;
    double ledgerLeft_ = 2520;
    double ledgerWidth_ = 10935;
    double ledgerHeight_ = 8775;
    double topShift_ = 0;  // the mode buttons and the top bar move with the ledger
    double savedTop_ = 0;
    double savedLeft_ = 0;
};

}  // namespace tovira
