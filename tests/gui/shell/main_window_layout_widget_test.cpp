// The main window's frame at small sizes: the side panel stays reachable and
// the mode buttons do not cover each other's text.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QRadioButton>
#include <QTemporaryDir>

#include "gui/ledger/side_panel.h"
#include "gui/shell/main_window.h"
#include "support/window_fixture.h"

namespace tovira {
namespace {

using MainWindowLayout = test::WindowFixture;

TEST_F(MainWindowLayout, TheWholePanelAndBothModeCaptionsStayInSight) {
    MainWindow& w = Window();
    w.show();

    // Shrunk as far as it goes, the panel still fits the client area.
    w.resize(200, 200);
    EXPECT_EQ(w.size(), w.minimumSize());
    const QRect client = w.centralWidget()->rect();
    EXPECT_TRUE(client.contains(Panel()->geometry())) << Panel()->geometry().height();

    // Each caption has the room its button asks for, and the second button
    // begins where the first ends.
    QRadioButton* theory = Find<QRadioButton>("theoryButton");
    QRadioButton* fact = Find<QRadioButton>("factButton");
    EXPECT_GE(theory->width(), theory->sizeHint().width());
    EXPECT_GE(fact->width(), fact->sizeHint().width());
    EXPECT_LT(theory->geometry().right(), fact->geometry().left());
}

}  // namespace
}  // namespace tovira
