#include "gui/shell/top_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "core/marketdata/estimate_fetcher.h"
#include "gui/layout/twips.h"

namespace tovira {

TopBar::TopBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("topBar"));
    setFrameShape(QFrame::NoFrame);
    auto place = [](QWidget* w, double l, double t, double wd, double h) {
        w->setGeometry(TwipsRect(l, t, wd, h));
    };
    live_ = new QCheckBox(QStringLiteral("实时估值"), this);
    live_->setObjectName(QStringLiteral("liveEstimateBox"));
    live_->setToolTip(QStringLiteral("按下则30秒更新一次数据"));
    place(live_, 120, 90, 1215, 315);
    place(new QLabel(QStringLiteral("基金公司："), this), 1440, 120, 975, 255);
    providers_ = new QComboBox(this);
    providers_->setObjectName(QStringLiteral("providerBox"));
    providers_->addItems(EstimateChoiceCaptions());  // 自动 first, and chosen
    providers_->setToolTip(QStringLiteral("不同基金公司估值略有不同"));
    place(providers_, 2400, 60, 1335, 375);
    place(new QLabel(QStringLiteral("估值："), this), 3960, 120, 615, 255);
    value_ = new QLabel(this);
    value_->setObjectName(QStringLiteral("estimateValueLabel"));
    place(value_, 4560, 120, 660, 255);
    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("estimateSourceLabel"));
    place(source_, 5220, 120, 720, 255);
    place(new QLabel(QStringLiteral("涨幅："), this), 5940, 120, 555, 255);
    change_ = new QLabel(this);
    change_->setObjectName(QStringLiteral("estimateChangeLabel"));
    place(change_, 6480, 120, 780, 255);
    chart_ = new QCheckBox(QStringLiteral("折线图"), this);
    chart_->setObjectName(QStringLiteral("chartBox"));
    place(chart_, 7320, 90, 1095, 315);
}

}  // namespace tovira
