#include "core/marketdata/estimate_batch.h"

#include <gtest/gtest.h>

#include "core/common/beijing_time.h"
#include "core/marketdata/estimate_fixtures.h"

using namespace tovira;

namespace {

// What a reading should come to: an estimate (nav > 0) or a failure whose
// detail holds the given words.
struct Expected {
    EstimateFailure failure = EstimateFailure::Unreadable;
    const char* detail = "";
    double nav = 0;
    double changePct = 0;
    const char* time = "";
    double previousNav = 0;  // 0: none
    QDate previousNavDate = {};
};

void Check(const EstimateAttempt& a, const Expected& e, const std::string& what) {
    SCOPED_TRACE(what);
    if (e.nav == 0) {
        ASSERT_FALSE(a.estimate.has_value());
        EXPECT_EQ(a.failure, e.failure);
        EXPECT_TRUE(a.detail.contains(QString::fromUtf8(e.detail))) << a.detail.toStdString();
        return;
    }
    ASSERT_TRUE(a.estimate.has_value()) << a.detail.toStdString();
    EXPECT_EQ(a.estimate->source, EstimateSource::Tiantian);
    EXPECT_DOUBLE_EQ(a.estimate->nav, e.nav);
    EXPECT_NEAR(a.estimate->changePct, e.changePct, 1e-9);
    EXPECT_EQ(a.estimate->time, ReadBeijingDateTime(QString::fromUtf8(e.time)));
    EXPECT_EQ(a.estimate->previousNav.value_or(0), e.previousNav);
    EXPECT_EQ(a.estimate->previousNavDate.value_or(QDate()), e.previousNavDate);
}

QByteArray Row(const char* fields) {
    return QByteArray(R"({"data":[{"FCODE":"161725",)") + fields +
           "}],\"errorCode\":0,\"success\":true}";
}

}  // namespace

TEST(EstimateBatchTest, ReadsEachFundOfTheAnswer) {
    const QByteArrayList bodies = test::FixtureBodies("valuation_last.txt");
    ASSERT_EQ(bodies.size(), 4);
    const QByteArray& a = bodies[0];
    const QByteArray& b = bodies[1];
    const QByteArray& c = bodies[2];  // a batch of two over several lines, no errorCode
    const QByteArray& d = bodies[3];  // fewer FIELDS: GSZZL and GZTIME only
    const QDate jul20(2026, 7, 20);
    const QDate jul21(2026, 7, 21);
    const auto no = EstimateFailure::NoEstimate;
    const auto bad = EstimateFailure::Unreadable;

    struct Case {
        const char* what;
        QByteArray body;
        const char* code;
        Expected expected;
    };
    const Case cases[] = {
        {"A, index fund in session",
         a,
         "161725",
         {bad, "", 0.548, -0.36, "2026-07-22 10:09", 0.55, jul21}},
        {"B, active fund", b, "000001", {no}},
        {"C, first of two",
         c,
         "161725",
         {bad, "", 0.5478, -1.86, "2026-07-21 14:26", 0.5582, jul20}},
        {"C, second of two", c, "000001", {no}},
        {"C, a code left out", c, "999999", {no, "999999"}},
        {"D, no GSZ and no NAV", d, "161725", {bad, "GSZ"}},
        {"D, null estimate", d, "110022", {no}},
        {"A cut off", a.left(a.size() / 2), "161725", {bad}},
        {"A without its last brace", a.chopped(1), "161725", {bad}},
        {"refused",
         R"({"data":null,"errorCode":3,"success":false,"errorMsg":"参数错误"})",
         "161725",
         {no, "参数错误"}},
        {"success false alone", R"({"data":[],"success":false})", "161725", {no, "success"}},
        {"no data", R"({"data":null,"errorCode":0,"success":true})", "161725", {no}},
        {"data not a list",
         R"({"data":{"FCODE":"161725"},"errorCode":0})",
         "161725",
         {bad, "data"}},
        {"a row without FCODE",
         R"({"data":[{"GSZ":1.2},{"FCODE":"161725","GSZ":1}]})",
         "161725",
         {bad, "FCODE"}},
        {"a number as text",
         Row(R"("GSZ":"0.548","GSZZL":-0.36,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "GSZ"}},
        {"a NAV of zero",
         Row(R"("GSZ":0,"GSZZL":-0.36,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "GSZ"}},
        {"a malformed time",
         Row(R"("GSZ":0.548,"GSZZL":-0.36,"GZTIME":"2026-07-22")"),
         "161725",
         {bad, "GZTIME"}},
        {"a figure without its time",
         Row(R"("GSZ":0.548,"GSZZL":-0.36,"GZTIME":null)"),
         "161725",
         {bad, "GZTIME"}},
        {"a malformed PDATE",
         Row(R"("NAV":0.5,"PDATE":"20260721","GSZ":0.5,"GSZZL":0,)"
             R"("GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "PDATE"}},
        {"GSZ with NAV: change from them",
         Row(R"("NAV":0.5,"PDATE":"2026-07-21","GSZ":0.51,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "", 0.51, 2.0, "2026-07-22 10:09", 0.5, jul21}},
        {"GSZZL with NAV: NAV from them",
         Row(R"("NAV":0.5,"PDATE":"2026-07-21","GSZZL":-2,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "", 0.49, -2.0, "2026-07-22 10:09", 0.5, jul21}},
        {"a change of -100 %",
         Row(R"("NAV":0.5,"PDATE":"2026-07-21","GSZZL":-100,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "范围"}},
        {"past any NAV",
         Row(R"("NAV":1e308,"PDATE":"2026-07-21","GSZZL":500,)"
             R"("GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "范围"}},
        // In the evening NAV is already the day's own: not the estimate's base.
        {"evening, both figures",
         Row(R"("NAV":0.5,"PDATE":"2026-07-22","GSZ":0.51,"GSZZL":2,)"
             R"("GZTIME":"2026-07-22 15:00")"),
         "161725",
         {bad, "", 0.51, 2.0, "2026-07-22 15:00"}},
        {"evening, GSZZL only",
         Row(R"("NAV":0.5,"PDATE":"2026-07-22","GSZZL":2,)"
             R"("GZTIME":"2026-07-22 15:00")"),
         "161725",
         {bad, "GSZ"}},
        {"GSZZL with a NAV without date",
         Row(R"("NAV":0.5,"GSZZL":2,"GZTIME":"2026-07-22 10:09")"),
         "161725",
         {bad, "GSZ"}},
    };
    for (const Case& one : cases)
        Check(ReadValuationBatch(one.body, QString::fromLatin1(one.code)), one.expected, one.what);
}

// The official NAV comes with every row, estimate or not: the holdings
// estimate takes it as the last NAV. A bad row spoils only itself.
TEST(EstimateBatchTest, RowsKeepTheOfficialNavWithoutAnEstimate) {
    const QByteArrayList bodies = test::FixtureBodies("valuation_last.txt");
    ASSERT_EQ(bodies.size(), 4);
    const ValuationBatch b = ReadValuationRows(bodies[1]);
    ASSERT_FALSE(b.failure.has_value());
    ASSERT_EQ(b.rows.size(), 1);
    EXPECT_EQ(b.rows[0].name, QString::fromUtf8("华夏成长混合"));
    EXPECT_EQ(b.rows[0].nav, 1.445);
    EXPECT_EQ(b.rows[0].navDate, QDate(2026, 7, 21));
    EXPECT_FALSE(b.rows[0].estimateNav || b.rows[0].changePct || b.rows[0].estimateTime.isValid());

    const ValuationBatch mixed = ReadValuationRows(
        R"({"data":[{"FCODE":"1","NAV":"1.2"},{"FCODE":"2","NAV":1.3,"PDATE":"2026-07-21"}]})");
    ASSERT_EQ(mixed.rows.size(), 2);
    EXPECT_TRUE(mixed.rows[0].problem.contains(QStringLiteral("NAV")));
    EXPECT_TRUE(mixed.rows[1].problem.isEmpty());
    EXPECT_EQ(mixed.rows[1].nav, 1.3);

    EXPECT_EQ(ValuationBatchUrl(QStringLiteral("http://127.0.0.1:1"),
                                {QStringLiteral("161725"), QStringLiteral("000001")}),
              "http://127.0.0.1:1/mm/newCore/FundValuationLast?FCODES=161725,000001"
              "&FIELDS=FCODE,SHORTNAME,GSZZL,GZTIME,GSZ,NAV,PDATE");
}
