#include "core/session/plan_session.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

class PlanSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString StoredCell(const QString& code, int row, const char* key) {
        IniDocument doc;
        EXPECT_TRUE(doc.Load(PlanFilePath(dir.path(), code)));
        return doc.Value(QStringLiteral("第%1行").arg(row), QString::fromLatin1(key));
    }

    QTemporaryDir dir;
};

// Each save writes in the mode the figures are shown in; a later open in
// either mode gets back what was typed, and the session's state follows.
TEST_F(PlanSessionTest, SavesInTheModeShownAndOpensBackInBothModes) {
    PlanSession session(dir.path());
    QStringList changes;
    QObject::connect(&session, &PlanSession::LedgerCodeChanged,
                     [&](const QString& from, const QString& to) { changes << from + u'>' + to; });
    test::AddDays(session.Ledger(), {{"1.0000"}, {"1.0500"}});
    session.PointAtFund(QStringLiteral("000021"));
    ASSERT_EQ(session.Open(Mode::Fact).result, OpenResult::NoFile);
    EXPECT_EQ(session.ShownMode(), Mode::Fact);
    EXPECT_EQ(session.Ledger().LastRow(), 2);  // no file: the rows stay
    session.Ledger().SetCell(1, Column::PurchaseAmount, QStringLiteral("1000"));
    session.ApplyPreset(Preset::Brave);
    EXPECT_TRUE(session.HasUnsavedRows());

    const SaveOutcome saved = session.Save(QStringLiteral("000021"));
    ASSERT_EQ(saved.result, SaveResult::Saved);
    EXPECT_EQ(MessageFor(saved), QString::fromUtf8(kMsgSaved));
    EXPECT_EQ(session.PlanPath(), PlanFilePath(dir.path(), QStringLiteral("000021")));
    EXPECT_EQ(session.LedgerCode(), "000021");
    EXPECT_EQ(changes, QStringList{QStringLiteral(">000021")});
    EXPECT_FALSE(session.Modified());
    EXPECT_EQ(StoredCell(QStringLiteral("000021"), 1, "PurchaseAmount"), "1000");

    // Theory: the plan's rules replace the typed amount on screen; a save
    // in theory leaves the stored fact amounts alone.
    PlanSession theory(dir.path());
    ASSERT_EQ(theory.Open(saved.path, Mode::Theory).result, OpenResult::Opened);
    EXPECT_EQ(theory.ShownMode(), Mode::Theory);
    EXPECT_EQ(theory.Settings().Text(Field::Multiple), session.Settings().Text(Field::Multiple));
    EXPECT_NE(theory.Ledger().Cell(1, Column::PurchaseAmount), "1000");
    theory.Ledger().SetCell(2, Column::NetValue, QStringLiteral("1.1000"));
    ASSERT_TRUE(theory.Save(QStringLiteral("000021")).Saved());
    EXPECT_EQ(StoredCell(QStringLiteral("000021"), 1, "PurchaseAmount"), "1000");

    PlanSession fact(dir.path());
    ASSERT_EQ(fact.Open(saved.path, Mode::Fact).result, OpenResult::Opened);
    EXPECT_EQ(fact.Ledger().Cell(1, Column::PurchaseAmount), "1000");
    EXPECT_EQ(fact.Ledger().Cell(2, Column::NetValue), "1.1000");
    EXPECT_FALSE(fact.Modified());
}

// A refused save keeps the plan unsaved, and the save answering "是否保存
// 数据？" goes to the fund the rows belong to without moving the plan path.
TEST_F(PlanSessionTest, RefusedSavesKeepTheChangesAndTheQuestionSavesTheRowsFund) {
    PlanSession session(dir.path());
    session.SetLedgerCode(QStringLiteral("000022"));
    session.PointAtFund(QStringLiteral("000022"));
    ASSERT_EQ(session.Save(QStringLiteral("000022")).result, SaveResult::NoRows);

    test::AddDays(session.Ledger(), {{"1.0000"}});
    session.MarkSettingsChanged();
    session.Ledger().SetCell(1, Column::DividendAction, QStringLiteral("😀"));
    const SaveOutcome refused = session.Save(QStringLiteral("000022"));
    EXPECT_EQ(refused.result, SaveResult::Unsavable);
    EXPECT_EQ(MessageFor(refused), "第1行「分红配送」含有无法保存的字符“😀”（U+1F600），未保存！");
    EXPECT_EQ(MessageFor(session.Save(QStringLiteral("12a"))), QString::fromUtf8(kMsgBadFundCode));
    EXPECT_TRUE(session.SettingsModified());
    EXPECT_EQ(session.LedgerCode(), "000022");

    session.Ledger().SetCell(1, Column::DividendAction, QString());
    session.SetPlanPath(dir.filePath(QStringLiteral("elsewhere.ini")));
    ASSERT_TRUE(session.SaveToLedgerCode().Saved());
    EXPECT_EQ(session.PlanPath(), dir.filePath(QStringLiteral("elsewhere.ini")));
    EXPECT_EQ(StoredCell(QStringLiteral("000022"), 1, "NetValue"), "1.0000");
    EXPECT_FALSE(session.Modified());

    // Export: no rows, a refused character, a file that cannot be written.
    EXPECT_EQ(session.Export(dir.filePath(QStringLiteral("a.csv"))).result, ExportResult::Exported);
    EXPECT_EQ(MessageFor(session.Export(dir.filePath(QStringLiteral("none/a.csv")))),
              QString::fromUtf8(kMsgExportFailed));
    session.ClearRows();
    EXPECT_EQ(MessageFor(session.Export(dir.filePath(QStringLiteral("b.csv")))),
              QString::fromUtf8(kMsgNoData));
    EXPECT_FALSE(session.Recalculate());
}

}  // namespace
