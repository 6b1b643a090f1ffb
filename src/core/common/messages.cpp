#include "core/common/messages.h"

namespace tovira {
namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QString MessageFor(const SaveOutcome& outcome) {
    switch (outcome.result) {
        case SaveResult::Saved:
            return Text(kMsgSaved);
        case SaveResult::NoRows:
            return Text(kMsgNoRowsToSave);
        case SaveResult::BadFundCode:
            return Text(kMsgBadFundCode);
        case SaveResult::Unsavable:
            return outcome.detail;
        case SaveResult::Failed:
            return Text(kMsgSaveError);
        case SaveResult::SavedUnconfirmed:
            return Text(kMsgSavedUnconfirmed);
        case SaveResult::ChangedOnDisk:
            return Text(kMsgPlanChangedOnDisk);
    }
    return QString();
}

QString MessageFor(const OpenOutcome& outcome) {
    switch (outcome.result) {
        case OpenResult::WrongFormat:
            return Text(kMsgWrongFormat);
        case OpenResult::TooManyRows:
            return Text(kMsgTooManyRows).arg(outcome.detail);
        case OpenResult::Unreadable:
            return Text(kMsgPlanUnreadable).arg(outcome.detail);
        case OpenResult::NoFile:
        case OpenResult::Opened:
            return QString();
    }
    return QString();
}

QString MessageFor(const ExportOutcome& outcome) {
    switch (outcome.result) {
        case ExportResult::NoData:
            return Text(kMsgNoData);
        case ExportResult::Unexportable:
            return outcome.detail;
        case ExportResult::Failed:
            return Text(kMsgExportFailed);
        case ExportResult::Exported:
            return QString();
    }
    return QString();
}

QString MessageFor(const TakeBackOffer& offer) {
    const QString shares = Text("应赎回") + offer.sharesText;
    switch (offer.kind) {
        case TakeBackOffer::Kind::NoData:
            return Text(kMsgNoData);
        case TakeBackOffer::Kind::Nothing:
            return shares + Text("份");
        case TakeBackOffer::Kind::ShowOnly:
            return shares + Text("份\n") + Text(kMsgTakeBackTheoryOnly);
        case TakeBackOffer::Kind::Book:
            return shares + Text("份，是否填入列表并计算确认金额？");
    }
    return QString();
}

}  // namespace tovira
