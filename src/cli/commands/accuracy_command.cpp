// tovira-cli accuracy: how close each source's estimates of the fund came to
// the official NAVs of its plan, as tables or JSON.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "cli/commands/cli_messages.h"
#include "cli/commands/command.h"
#include "core/common/messages.h"
#include "core/common/numbers.h"
#include "core/common/text_table.h"
#include "core/marketdata/estimate_record.h"
#include "core/session/plan_session.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

// Figures as JSON numbers: four decimals are more than a source gives.
QJsonValue Rounded(double v) { return std::nearbyint(v * 10000) / 10000; }

QJsonObject JsonOf(const QString& code, const std::vector<SourceAccuracy>& sources) {
    QJsonArray list;
    for (const SourceAccuracy& s : sources) {
        QJsonArray days;
        for (const ComparedDay& d : s.lastDays) {
            days.append(
                QJsonObject{{QStringLiteral("date"), d.date.toString(Qt::ISODate)},
                            {QStringLiteral("estimate"), d.estimate},
                            {QStringLiteral("official"), d.official},
                            {QStringLiteral("estimate_change_pct"), Rounded(d.estimateChangePct)},
                            {QStringLiteral("official_change_pct"), Rounded(d.officialChangePct)},
                            {QStringLiteral("error_pp"), Rounded(d.errorPp)}});
        }
        const bool any = s.days > 0;
        list.append(QJsonObject{
            {QStringLiteral("source"), EstimateSourceCliName(s.source)},
            {QStringLiteral("days"), s.days},
            {QStringLiteral("mean_abs_error_pp"), any ? Rounded(s.meanAbsErrorPp) : QJsonValue()},
            {QStringLiteral("max_abs_error_pp"), any ? Rounded(s.maxAbsErrorPp) : QJsonValue()},
            {QStringLiteral("max_error_date"),
             any ? QJsonValue(s.maxErrorDate.toString(Qt::ISODate)) : QJsonValue()},
            {QStringLiteral("pending"), s.pending},
            {QStringLiteral("last_days"), days}});
    }
    return {{QStringLiteral("code"), code}, {QStringLiteral("sources"), list}};
}

QString Pp(double v) { return FormatPattern(v, u"0.00"); }

void PrintTables(const QString& code, const std::vector<SourceAccuracy>& sources,
                 QTextStream& out) {
    out << QStringLiteral("估值准确度 ") << code << '\n';
    using A = TextTable::Align;
    TextTable summary({A::Left, A::Right, A::Right, A::Right, A::Left, A::Right});
    summary.AddRow({QStringLiteral("来源"), QStringLiteral("天数"),
                    QStringLiteral("平均误差(百分点)"), QStringLiteral("最大误差"),
                    QStringLiteral("日期"), QStringLiteral("待核对")});
    for (const SourceAccuracy& s : sources) {
        const bool any = s.days > 0;
        summary.AddRow({EstimateSourceCaption(s.source), QString::number(s.days),
                        any ? Pp(s.meanAbsErrorPp) : QStringLiteral("—"),
                        any ? Pp(s.maxAbsErrorPp) : QStringLiteral("—"),
                        any ? s.maxErrorDate.toString(Qt::ISODate) : QStringLiteral("—"),
                        QString::number(s.pending)});
    }
    summary.Write(out);
    for (const SourceAccuracy& s : sources) {
        if (s.lastDays.empty()) continue;
        out << '\n'
            << EstimateSourceCaption(s.source)
            << QStringLiteral("：最近 %1 天").arg(s.lastDays.size()) << '\n';
        TextTable days({A::Left, A::Right, A::Right, A::Right, A::Right, A::Right});
        days.AddRow({QStringLiteral("日期"), QStringLiteral("估值"), QStringLiteral("净值"),
                     QStringLiteral("估算涨幅(%)"), QStringLiteral("实际涨幅(%)"),
                     QStringLiteral("误差(百分点)")});
        for (const ComparedDay& d : s.lastDays) {
            days.AddRow({d.date.toString(Qt::ISODate), FormatPattern(d.estimate, u"0.0000"),
                         FormatPattern(d.official, u"0.0000"), Pp(d.estimateChangePct),
                         Pp(d.officialChangePct), Pp(d.errorPp)});
        }
        days.Write(out);
    }
}

int RunAccuracy(const CommandRun& run) {
    if (run.words.size() != 1) {
        run.err << MistakeUsage(CommandGroup::MarketData);
        return kStatusUsage;
    }
    const QString code = run.words[0];
    if (!IsFundCode(code) || !IsUsableFundCode(code)) {
        run.err << QString::fromUtf8(kMsgBadFundCode) << Qt::endl;
        return kStatusUsage;
    }
    const QString folder = run.Folder();
    const RecordContents record = EstimateRecord(folder).Read(code);
    if (record.status == RecordRead::Unreadable) {
        run.err << QString::fromUtf8(kMsgEstimateRecordUnreadable)
                       .arg(EstimateRecord::PathOf(folder, code))
                << Qt::endl;
        return kStatusFailed;
    }
    if (record.status == RecordRead::Damaged) {
        run.err << QString::fromUtf8(kMsgEstimateRecordDamaged).arg(record.damagedLines)
                << Qt::endl;
    }

    // The official NAVs: the plan named, else the fund's plan in the plan
    // folder, when there is one (without it every day is still to check).
    const QString given = run.Value(QStringLiteral("plan"));
    const QString planPath = given.isNull() ? PlanFilePath(folder, code) : given;
    std::vector<OfficialDay> official;
    if (!given.isNull() || QFileInfo::exists(planPath)) {
        if (!QFileInfo(planPath).isFile()) {
            run.err << QString::fromUtf8(kMsgPlanNotFound).arg(planPath) << Qt::endl;
            return kStatusFailed;
        }
        const PlanFigures plan = PlanSession::ReadFigures(planPath, Mode::Theory);
        if (plan.opened.result != OpenResult::Opened) {
            if (const QString message = MessageFor(plan.opened); !message.isEmpty()) {
                run.err << message << Qt::endl;
            }
            return kStatusFailed;
        }
        official = OfficialDays(plan.table);
    }

    const std::vector<SourceAccuracy> sources = CompareRecord(record.days, official);
    if (run.Has(QStringLiteral("json"))) {
        run.out << QString::fromUtf8(
            QJsonDocument(JsonOf(code, sources)).toJson(QJsonDocument::Indented));
    } else if (sources.empty()) {
        run.out << QString::fromUtf8(kMsgNoEstimateRecord) << '\n';
    } else {
        PrintTables(code, sources, run.out);
    }
    return kStatusDone;
}

}  // namespace

Command AccuracyCommand() {
    return {QStringLiteral("accuracy"),
            QStringLiteral("估值准确度：每个估值来源每天最后一次估值与公布净值的涨幅之差"),
            QStringLiteral("  tovira-cli accuracy CODE [--plan PLAN.ini] [--json]\n"),
            CommandGroup::MarketData,
            {{QStringLiteral("plan"), QStringLiteral("PLAN.ini"),
              QStringLiteral("取公布净值的方案文件（默认：我的基金中该代码的方案）")},
             {QStringLiteral("json"), QString(), QStringLiteral("以 JSON 输出，而不是表格")}},
            RunAccuracy};
}

}  // namespace tovira
