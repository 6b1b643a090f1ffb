// 高级 › 估值准确度: the empty record's sentence, the sources' table and the
// chosen source's last days, against the session's rows or its plan file.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/common/beijing_time.h"
#include "core/session/plan_session.h"
#include "core/storage/plan_file.h"
#include "gui/dialogs/estimate_accuracy_dialog.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

class EstimateAccuracyWidgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session.SetFundCode(code);
        test::AddDays(session.Ledger(), {{"1.0000", "开放申购", "开放赎回"},
                                         {"1.0100", "开放申购", "开放赎回"},
                                         {"0.9999", "开放申购", "开放赎回"}});
    }
    void Note(EstimateSource source, int day, double nav, double changePct) {
        SourceEstimate e;
        e.source = source;
        e.time = BeijingTimeOn(QDate(2020, 1, day), QTime(15, 0));
        e.nav = nav;
        e.changePct = changePct;
        ASSERT_EQ(EstimateRecord(dir.path()).Note(code, e), NoteResult::Written);
    }
    EstimateAccuracyDialog* Open() {
        ShowEstimateAccuracy(&owner, session);
        return owner.findChild<EstimateAccuracyDialog*>();
    }
    static QString Text(QTableWidget* t, int row, int column) {
        return t->item(row, column) ? t->item(row, column)->text() : QString();
    }

    QTemporaryDir dir;
    const QString code = QStringLiteral("005827");
    PlanSession session{dir.path()};
    QWidget owner;
};

TEST_F(EstimateAccuracyWidgetTest, AnEmptyRecordSaysHowItFills) {
    EstimateAccuracyDialog* dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Message()->text(), QString::fromUtf8(kMsgNoEstimateRecord));
    EXPECT_FALSE(dialog->Sources()->isVisible());
    EXPECT_FALSE(dialog->Days()->isVisible());
}

TEST_F(EstimateAccuracyWidgetTest, ShowsEachSourceAndTheChosenSourcesDays) {
    Note(EstimateSource::Tiantian, 2, 1.0110, 1.1);   // +0.10 pp
    Note(EstimateSource::Tiantian, 3, 0.9950, -1.5);  // −0.50 pp
    Note(EstimateSource::Howbuy, 3, 0.9990, -1.1);    // −0.10 pp
    Note(EstimateSource::Howbuy, 6, 1.0, 0.3);        // pending

    // The rows on screen are another fund's: the plan file's days count.
    session.SetLedgerCode(QStringLiteral("000001"));
    EstimateAccuracyDialog* dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Sources()->rowCount(), 2);
    EXPECT_EQ(Text(dialog->Sources(), 0, 1), QStringLiteral("0"));  // no plan file yet

    session.SetLedgerCode(code);
    EXPECT_EQ(Open(), dialog);  // the open dialog, brought up to date
    QTableWidget* sources = dialog->Sources();
    EXPECT_FALSE(dialog->Message()->isVisible());
    ASSERT_EQ(sources->rowCount(), 2);
    EXPECT_EQ(Text(sources, 0, 0), QStringLiteral("天天基金"));
    EXPECT_EQ(Text(sources, 0, 1), QStringLiteral("2"));
    EXPECT_EQ(Text(sources, 0, 2), QStringLiteral("0.30"));
    EXPECT_EQ(Text(sources, 0, 3), QStringLiteral("0.50（2020-01-03）"));
    EXPECT_EQ(Text(sources, 0, 4), QStringLiteral("0"));
    EXPECT_EQ(Text(sources, 1, 0), QStringLiteral("好买基金"));
    EXPECT_EQ(Text(sources, 1, 4), QStringLiteral("1"));

    QTableWidget* days = dialog->Days();
    ASSERT_EQ(days->rowCount(), 2);
    EXPECT_EQ(Text(days, 0, 0), QStringLiteral("2020-01-03"));
    EXPECT_EQ(Text(days, 0, 1), QStringLiteral("0.9950"));
    EXPECT_EQ(Text(days, 0, 2), QStringLiteral("0.9999"));
    EXPECT_EQ(Text(days, 0, 5), QStringLiteral("-0.50"));
    sources->setCurrentCell(1, 0);
    ASSERT_EQ(days->rowCount(), 1);
    EXPECT_EQ(Text(days, 0, 5), QStringLiteral("-0.10"));
    dialog->close();
}

}  // namespace
