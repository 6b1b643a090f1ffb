// Back-tests on real NAV histories: each plan is opened as the window opens
// it, recalculated in the mode its export names, exported, and compared byte
// for byte with an export computed independently.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/csv_export.h"
#include "core/storage/plan_file.h"
#include "support/test_support.h"

using namespace tovira;

namespace {

struct GoldenCase {
    QString plan;
    QString expected;
    Mode mode;
};

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    const QDir dir(test::DataPath("golden"));
    for (const QString& csv : dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name)) {
        // NAME.theory.csv or NAME.fact.csv, made from NAME.ini
        const QStringList parts = csv.split(u'.');
        if (parts.size() != 3) continue;
        cases.push_back({dir.filePath(parts[0] + QStringLiteral(".ini")), dir.filePath(csv),
                         parts[1] == QStringLiteral("fact") ? Mode::Fact : Mode::Theory});
    }
    return cases;
}

}  // namespace

TEST(GoldenTest, ExportsMatchIndependentBackTests) {
    const std::vector<GoldenCase> cases = GoldenCases();
    ASSERT_GE(cases.size(), 21u);
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        LedgerModel ledger;
        PlanSettings settings;
        SilentPrompt prompt;
        OpenPlanOptions options;
        options.mode = c.mode;
        ASSERT_EQ(OpenPlanFile(c.plan, ledger, settings, prompt, options), OpenResult::Opened);
        const QString out = tmp.filePath(QStringLiteral("out.csv"));
        ASSERT_TRUE(ExportCsv(out, ledger));
        const QByteArray got = test::ReadFileBytes(out);
        const QByteArray want = test::ReadFileBytes(c.expected);
        if (got != want) {
            // Report the first differing line for a readable failure.
            const QList<QByteArray> g = got.split('\n');
            const QList<QByteArray> w = want.split('\n');
            for (qsizetype i = 0; i < std::min(g.size(), w.size()); ++i) {
                if (g[i] != w[i]) {
                    ADD_FAILURE() << "line " << i + 1 << "\n got: " << g[i].toStdString()
                                  << "\nwant: " << w[i].toStdString();
                    break;
                }
            }
            EXPECT_EQ(g.size(), w.size());
        }
    }
}
