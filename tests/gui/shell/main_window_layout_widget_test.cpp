// The main window's frame at small sizes: the side panel stays reachable and
// the mode buttons do not cover each other's text.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QRadioButton>
#include <QTemporaryDir>

#include "gui/shell/main_window.h"
#include "gui/ledger/side_panel.h"
#include "support/test_support.h"

namespace tovira {
namespace {

class NoFiles : public FileChooser {
  public:
    QString OpenPlan(QWidget*) override { return {}; }
    QString SaveCsv(QWidget*, const QString&) override { return {}; }
};

TEST(MainWindowLayout, TheWholePanelAndBothModeCaptionsStayInSight) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::RecordingPrompt prompt;
    NoFiles chooser;
    MainWindow w(dir.path(), &prompt, &chooser);
    w.show();

    // Shrunk as far as it goes, the panel still fits the client area.
    w.resize(200, 200);
    EXPECT_EQ(w.size(), w.minimumSize());
    const QRect client = w.centralWidget()->rect();
    EXPECT_TRUE(client.contains(w.Panel()->geometry())) << w.Panel()->geometry().height();

    // Each caption has the room its button asks for, and the second button
    // begins where the first ends.
    QRadioButton* theory = w.TheoryButton();
    QRadioButton* fact = w.FactButton();
    EXPECT_GE(theory->width(), theory->sizeHint().width());
    EXPECT_GE(fact->width(), fact->sizeHint().width());
    EXPECT_LT(theory->geometry().right(), fact->geometry().left());
}

}  // namespace
}  // namespace tovira
