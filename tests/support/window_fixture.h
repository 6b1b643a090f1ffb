#pragma once
// One fixture for the widget tests of the main window: a temporary program
// folder, a recording prompt, a file chooser the test answers, and the window
// itself, whose parts are found by their object names.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "core/storage/ini_document.h"
#include "gui/dialogs/import_range_dialog.h"
#include "gui/ledger/ledger_view.h"
#include "gui/ledger/side_panel.h"
#include "gui/shell/main_window.h"
#include "support/test_support.h"

namespace tovira::test {

class FakeChooser : public FileChooser {
  public:
    QString openPath;
    QString savePath;
    QString proposed;
    QString OpenPlan(QWidget*) override { return openPath; }
    QString SaveCsv(QWidget*, const QString& name) override {
        proposed = name;
        return savePath;
    }
};

// A message box that keeps the window running while it is open (holdMs), as
// a real modal box does.
class ModalPrompt : public RecordingPrompt {
  public:
    PromptAnswer Ask(const QString& text, const QString& caption, PromptButtons b,
                     PromptIcon i) override {
        const PromptAnswer a = RecordingPrompt::Ask(text, caption, b, i);
        if (holdMs > 0) QTest::qWait(holdMs);
        return a;
    }
    int holdMs = 0;
};

inline QString ExamplePlan() {
    return QStringLiteral(TOVIRA_TEST_DATA "/../../examples/006675.ini");
}

class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("我的基金")));
    }
    // The window goes before anything a test added (a local server) does.
    void TearDown() override { window.reset(); }

    QString PlanPath(const char* code) const {
        return dir.filePath(QStringLiteral("我的基金/%1.ini").arg(QLatin1String(code)));
    }
    // The example plan as 006675's plan in the plan folder.
    void AddExamplePlan() { ASSERT_TRUE(QFile::copy(ExamplePlan(), PlanPath("006675"))); }
    // Config.ini sending these endpoints to a local server.
    void ServeFrom(quint16 port, std::initializer_list<const char*> endpoints) {
        IniDocument config;
        const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
        for (const char* key : endpoints) {
            config.SetValue(QStringLiteral("服务器"), QString::fromLatin1(key), host);
        }
        // Tests that serve "NavHistory" serve the HTML table.
        config.SetValue(QStringLiteral("服务器"), QStringLiteral("NavHistorySource"),
                        QStringLiteral("table"));
        ASSERT_TRUE(config.Save(dir.filePath(QStringLiteral("Config.ini"))));
    }

    MainWindow& Window() {
        if (!window) window = std::make_unique<MainWindow>(dir.path(), &prompt, &chooser);
        return *window;
    }
    template <typename T>
    T* Find(const char* name) {
        T* found = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    QAction* Action(const char* name) { return Find<QAction>(name); }
    QComboBox* CodeBox() { return Find<QComboBox>("fundCodeBox"); }
    LedgerView* View() { return Find<LedgerView>("ledgerView"); }
    SidePanel* Panel() { return Find<SidePanel>("sidePanel"); }
    // The import window while it is open.
    ImportRangeDialog* ImportDialog() {
        for (ImportRangeDialog* d : Window().findChildren<ImportRangeDialog*>()) {
            if (d->isVisible()) return d;  // closed ones linger until deleted
        }
        return nullptr;
    }

    // Types into the fund code box as the user would.
    void Type(const QString& text) { QTest::keyClicks(CodeBox()->lineEdit(), text); }
    void ClearBox() {
        QLineEdit* line = CodeBox()->lineEdit();
        while (!line->text().isEmpty()) QTest::keyClick(line, Qt::Key_Backspace);
    }
    // Replaces the box text at once and types the code.
    void TypeCode(const QString& code) {
        CodeBox()->lineEdit()->clear();
        Type(code);
    }

    QTemporaryDir dir;
    ModalPrompt prompt;
    FakeChooser chooser;
    std::unique_ptr<MainWindow> window;
};

}  // namespace tovira::test
