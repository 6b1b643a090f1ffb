#include "gui/dialogs/parameter_search_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGraphicsColorizeEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/common/numbers.h"
#include "gui/charts/heat_map.h"
#include "gui/ledger/side_panel.h"

namespace tovira {
namespace {

constexpr int kStepsEachSide = 4;

struct MetricChoice {
    SweepMetric metric;
    const char* caption;
};
constexpr MetricChoice kMetrics[] = {{SweepMetric::Xirr, "年化(XIRR) %"},
                                     {SweepMetric::Profit, "盈亏"},
                                     {SweepMetric::Return, "资金收益率 %"}};

}  // namespace

namespace {

QString Figure(std::optional<double> v, const char16_t* suffix = u"") {
    if (!v || !std::isfinite(*v)) return QStringLiteral("—");
    return FormatPattern(*v, u"0.00") + QString::fromUtf16(suffix);
}

bool Accepted(Field f, double v) { return !PlanSettings::Validate(f, GeneralText(v)); }

// A value on the step grid, without the drift of repeated additions.
double OnGrid(double v, double step) { return std::round(v / step * 1e6) / 1e6 * step; }

// The copy of the ledger's cells the worker reads.
std::unique_ptr<LedgerModel> CopyLedger(const LedgerModel& ledger) {
    auto copy = std::make_unique<LedgerModel>();
    copy->ReserveRows(ledger.LastRow());
    BulkUpdate bulk(*copy);
    for (int row = 1; row <= ledger.LastRow(); ++row) {
        copy->AddRow(ledger.Cell(row, Column::ID));
        for (const ColumnInfo& c : Columns())
            copy->SetCell(row, c.column, ledger.Cell(row, c.column));
    }
    return copy;
}

bool SameRow(const RowInput& a, const RowInput& b) {
    return a.nav == b.nav && a.purchaseBlocked == b.purchaseBlocked &&
           a.redeemBlocked == b.redeemBlocked && a.dividendMarker == b.dividendMarker &&
           a.action == b.action && a.actionValue == b.actionValue &&
           a.typedPurchase == b.typedPurchase && a.typedRedeem == b.typedRedeem;
}

bool SameInput(const SweepInput& a, const SweepInput& b) {
    if (a.dates != b.dates || a.ledger.rows.size() != b.ledger.rows.size() ||
        a.ledger.firstIncrease != b.ledger.firstIncrease) {
        return false;
    }
    for (size_t k = 0; k < a.ledger.rows.size(); ++k) {
        if (!SameRow(a.ledger.rows[k], b.ledger.rows[k])) return false;
    }
    return true;
}

int IndexOf(const std::vector<double>& values, double v) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (std::abs(values[i] - v) <= 1e-9 * std::max(1.0, std::abs(v)))
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

ProposedRange ProposeRange(Field field, double current) {
    double step = PlanSettings::SpinStep(field);
    if (step <= 0) {
        switch (field) {
            case Field::StartSellPct:
                step = 1;
                break;
            default: {
                // A tenth of the value, rounded to one significant digit.
                const double tenth = std::abs(current) / 10;
                const double unit = tenth > 0 ? std::pow(10.0, std::floor(std::log10(tenth))) : 1;
                step = std::max(1.0, std::round(tenth / unit) * unit);
            }
        }
    }
    ProposedRange r{OnGrid(current - kStepsEachSide * step, step),
                    OnGrid(current + kStepsEachSide * step, step), step};
    // Values the box refuses are left out from either end.
    while (r.from < current && !Accepted(field, r.from)) r.from = OnGrid(r.from + step, step);
    while (r.to > current && !Accepted(field, r.to)) r.to = OnGrid(r.to - step, step);
    if (r.to < r.from) r.to = r.from;
    return r;
}

QString SweepCellDetails(const SweepMetrics& m) {
    return QStringLiteral(
               "买入次数 %1\n赎回次数 %2\n投入峰值 %3\n盈亏 %4\n资金收益率 %5\n"
               "年化(XIRR) %6\n最大浮亏 %7")
        .arg(m.purchases)
        .arg(m.redemptions)
        .arg(Figure(m.maxCapital), Figure(m.profit), Figure(m.returnOnCapitalPct, u"%"),
             Figure(m.xirrPct, u"%"), Figure(m.worstProfit));
}

ParameterSearchDialog::ParameterSearchDialog(const LedgerModel& ledger,
                                             const PlanSettings& settings, SweepRunner runner,
                                             QWidget* parent)
    : QDialog(parent), ledger_(ledger), settings_(settings), runner_(std::move(runner)) {
    setObjectName(QStringLiteral("parameterSearchDialog"));
    setWindowTitle(QStringLiteral("参数寻优"));
    setModal(false);
    if (!runner_) {
        runner_ = [](const LedgerModel& l, const PlanSettings& s, const SweepAxis& x,
                     const SweepAxis& y, std::atomic<bool>* cancel, const SweepProgress& progress) {
            return RunSweep(l, s, x, y, 0, cancel, progress);
        };
    }

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("参数")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("从")), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("到")), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("步长")), 0, 4);
    xBoxes_ = MakeAxisRow(QStringLiteral("横轴"), 1, 0, grid);
    yBoxes_ = MakeAxisRow(QStringLiteral("纵轴"), 2, 1, grid);
    for (const auto& [boxes, axis] : {std::pair{xBoxes_, "x"}, std::pair{yBoxes_, "y"}}) {
        const QString prefix = QString::fromLatin1(axis);
        boxes.parameter->setObjectName(prefix + QStringLiteral("Parameter"));
        boxes.from->setObjectName(prefix + QStringLiteral("From"));
        boxes.to->setObjectName(prefix + QStringLiteral("To"));
        boxes.step->setObjectName(prefix + QStringLiteral("Step"));
    }

    metric_ = new QComboBox;
    metric_->setObjectName(QStringLiteral("metricBox"));
    for (const MetricChoice& m : kMetrics) metric_->addItem(QString::fromUtf8(m.caption));
    start_ = new QPushButton(QStringLiteral("开始"));
    start_->setObjectName(QStringLiteral("startSearch"));
    start_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("取消"));
    cancel_->setObjectName(QStringLiteral("cancelSearch"));
    cancel_->setEnabled(false);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("searchProgress"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("searchStatus"));
    status_->setWordWrap(true);
    modeNote_ = new QLabel(QStringLiteral(
        "当前显示实际操作：寻优计算的是计划自己的决定（理论计算），不含手填的申购和赎回；"
        "双击方格会把这两个值填入侧栏，并按实际操作重新计算，结果可能与图中的不同。"));
    modeNote_->setObjectName(QStringLiteral("searchModeNote"));
    modeNote_->setWordWrap(true);
    modeNote_->hide();
    idleNote_ = new QLabel;
    idleNote_->setObjectName(QStringLiteral("idleParameters"));
    idleNote_->setWordWrap(true);
    staleNote_ = new QLabel;
    staleNote_->setObjectName(QStringLiteral("staleResult"));
    staleNote_->setStyleSheet(QStringLiteral("font-weight: bold;"));
    staleNote_->hide();
    map_ = new HeatMap;

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("指标")));
    controls->addWidget(metric_);
    controls->addWidget(start_);
    controls->addWidget(cancel_);
    controls->addWidget(progress_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(idleNote_);
    layout->addLayout(controls);
    layout->addWidget(modeNote_);
    layout->addWidget(status_);
    layout->addWidget(staleNote_);
    layout->addWidget(map_, 1);
    OfferParameters();

    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(cancel_, &QPushButton::clicked, this, &ParameterSearchDialog::Cancel);
    connect(
        this, &ParameterSearchDialog::Progressed, this,
        [this](qint64 done, qint64 total) {
            if (!Running()) return;
            // Scaled so that a million cells fit the bar's int range.
            progress_->setRange(0, 1000);
            progress_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
        },
        Qt::QueuedConnection);
    connect(map_, &HeatMap::CellActivated, this, &ParameterSearchDialog::OnCellActivated);
    // Recalculations rewrite the computed cells too: only a change of the
    // inputs makes a result stale, which PlanChanged tells apart.
    const auto changed = [this] { PlanChanged(); };
    connect(&ledger_, &QAbstractItemModel::dataChanged, this, changed);
    connect(&ledger_, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&ledger_, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&ledger_, &QAbstractItemModel::modelReset, this, changed);
    connect(metric_, &QComboBox::currentIndexChanged, this, [this] {
        if (result_) ShowResult();
    });
    resize(760, 640);
}

ParameterSearchDialog::~ParameterSearchDialog() {
    if (thread_) {
        // The queued "finished" will never be handled now: stop and free the
        // worker here.
        cancelFlag_ = true;
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
}

ParameterSearchDialog::AxisBoxes ParameterSearchDialog::MakeAxisRow(const QString& caption, int row,
                                                                    int initial,
                                                                    QGridLayout* grid) {
    AxisBoxes boxes{new QComboBox, new QLineEdit, new QLineEdit, new QLineEdit};
    FillParameters(boxes.parameter, initial);
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(boxes.parameter, row, 1);
    grid->addWidget(boxes.from, row, 2);
    grid->addWidget(boxes.to, row, 3);
    grid->addWidget(boxes.step, row, 4);
    Propose(boxes);
    connect(boxes.parameter, &QComboBox::currentIndexChanged, this,
            [this, boxes] { Propose(boxes); });
    return boxes;
}

void ParameterSearchDialog::FillParameters(QComboBox* box, int preferred) {
    // By caption; the key goes along for the search.
    const QString kept = box->currentData().toString();
    const QSignalBlocker block(box);
    box->clear();
    for (const SweepParameter& p : SweepParameters()) {
        if (SweepParameterIdle(settings_, p.field)) continue;
        box->addItem(FieldName(p.field), QString::fromLatin1(p.name));
    }
    const int index = box->findData(kept);
    box->setCurrentIndex(index >= 0 ? index : std::min(preferred, box->count() - 1));
}

void ParameterSearchDialog::OfferParameters() {
    for (const auto& [boxes, preferred] : {std::pair{xBoxes_, 0}, std::pair{yBoxes_, 1}}) {
        const QString before = boxes.parameter->currentData().toString();
        FillParameters(boxes.parameter, preferred);
        if (boxes.parameter->currentData().toString() != before) Propose(boxes);
    }
    QStringList idle;
    for (const SweepParameter& p : SweepParameters()) {
        if (const std::optional<QString> why = SweepParameterIdle(settings_, p.field)) idle << *why;
    }
    idleNote_->setText(idle.isEmpty() ? QString()
                                      : QStringLiteral("未列出的参数：") +
                                            idle.join(QStringLiteral("；")) + QStringLiteral("。"));
    idleNote_->setVisible(!idle.isEmpty());
}

void ParameterSearchDialog::PlanChanged() {
    OfferParameters();
    if (!result_ || staleReason_ == QStringLiteral("已取消")) return;
    ShowStale(ResultMatchesPlan() ? QString() : QStringLiteral("参数已改变"));
}

bool ParameterSearchDialog::ResultMatchesPlan() const {
    if (!result_ || !searchedSettings_) return false;
    for (const FieldInfo& info : Fields()) {
        if (info.field == result_->x.field || info.field == result_->y.field) continue;
        if (settings_.Text(info.field) != searchedSettings_->Text(info.field)) return false;
    }
    for (const SwitchInfo& info : Switches()) {
        if (settings_.Checked(info.sw) != searchedSettings_->Checked(info.sw)) return false;
    }
    return SameInput(ReadSweepInput(ledger_), searchedInput_);
}

void ParameterSearchDialog::ShowStale(const QString& reason) {
    if (reason == staleReason_) return;
    staleReason_ = reason;
    staleNote_->setText(reason.isEmpty()
                            ? QString()
                            : QStringLiteral("%1：图中是之前的结果，请重新开始寻优。").arg(reason));
    staleNote_->setVisible(!reason.isEmpty());
    if (reason.isEmpty()) {
        map_->setGraphicsEffect(nullptr);
        return;
    }
    auto* grey = new QGraphicsColorizeEffect(map_);
    grey->setColor(QColor(128, 128, 128));
    grey->setStrength(1.0);
    map_->setGraphicsEffect(grey);
}

void ParameterSearchDialog::SetShownMode(Mode mode) { modeNote_->setVisible(mode == Mode::Fact); }

void ParameterSearchDialog::Propose(const AxisBoxes& boxes) {
    const std::optional<SweepParameter> p =
        SweepParameterByName(boxes.parameter->currentData().toString());
    if (!p) return;
    const ProposedRange r = ProposeRange(p->field, settings_.Number(p->field));
    boxes.from->setText(GeneralText(r.from));
    boxes.to->setText(GeneralText(r.to));
    boxes.step->setText(GeneralText(r.step));
}

std::optional<SweepAxis> ParameterSearchDialog::ReadAxis(const AxisBoxes& boxes) {
    const QString name = boxes.parameter->currentData().toString();
    const std::optional<double> from = StrictNumber(boxes.from->text().trimmed());
    const std::optional<double> to = StrictNumber(boxes.to->text().trimmed());
    const std::optional<double> step = StrictNumber(boxes.step->text().trimmed());
    if (!from || !to || !step) {
        status_->setText(QStringLiteral("%1：请填入数字").arg(boxes.parameter->currentText()));
        return std::nullopt;
    }
    QString error;
    std::optional<SweepAxis> axis = MakeSweepAxis(name, *from, *to, *step, &error);
    if (!axis) status_->setText(error);
    return axis;
}

bool ParameterSearchDialog::Start() {
    if (Running()) return false;
    const std::optional<SweepAxis> x = ReadAxis(xBoxes_);
    if (!x) return false;
    const std::optional<SweepAxis> y = ReadAxis(yBoxes_);
    if (!y) return false;
    if (const std::optional<QString> error = CheckSweepGrid(*x, *y)) {
        status_->setText(*error);
        return false;
    }
    shownMetric_ = kMetrics[std::max(metric_->currentIndex(), 0)].metric;
    snapshot_ = CopyLedger(ledger_);
    startedInput_ = ReadSweepInput(*snapshot_);
    settingsCopy_ = std::make_unique<PlanSettings>(settings_);
    settingsCopy_->onSwitchChanged = nullptr;  // nothing of the window from the worker
    cancelFlag_ = false;
    running_.reset();
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    status_->setText(QStringLiteral("计算中… %1 × %2 种组合").arg(x->Count()).arg(y->Count()));
    start_->setEnabled(false);
    cancel_->setEnabled(true);

    thread_ = QThread::create([this, x = *x, y = *y] {
        running_ =
            runner_(*snapshot_, *settingsCopy_, x, y, &cancelFlag_,
                    [this](long long done, long long total) {
                        emit Progressed(static_cast<qint64>(done), static_cast<qint64>(total));
                    });
    });
    connect(thread_, &QThread::finished, this, &ParameterSearchDialog::OnFinished,
            Qt::QueuedConnection);
    thread_->start();
    emit SearchStarted();
    return true;
}

void ParameterSearchDialog::Cancel() {
    if (Running()) cancelFlag_ = true;
}

void ParameterSearchDialog::OnFinished() {
    if (!thread_) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    snapshot_.reset();
    start_->setEnabled(true);
    cancel_->setEnabled(false);
    const bool cancelled = cancelFlag_ || !running_ || running_->cancelled;
    if (cancelled) {
        progress_->setValue(0);
        status_->setText(QStringLiteral("已取消"));
        if (result_) ShowStale(QStringLiteral("已取消"));
        settingsCopy_.reset();
        startedInput_ = {};
    } else {
        progress_->setValue(progress_->maximum());
        result_ = std::move(running_);
        searchedSettings_ = std::move(settingsCopy_);
        searchedInput_ = std::move(startedInput_);
        startedInput_ = {};
        ShowStale(QString());
        ShowResult();
        // The plan may have changed while the search ran.
        PlanChanged();
    }
    running_.reset();
    emit SearchEnded();
}

void ParameterSearchDialog::ShowResult() {
    const SweepResult& r = *result_;
    const MetricChoice& choice = kMetrics[std::max(metric_->currentIndex(), 0)];
    HeatMapData map;
    map.xName = FieldName(r.x.field);
    map.yName = FieldName(r.y.field);
    map.metricName = QString::fromUtf8(choice.caption);
    map.xs = r.x.typed;
    map.ys = r.y.typed;
    for (const SweepMetrics& m : r.cells) {
        map.values.push_back(MetricValue(m, choice.metric));
        map.details.push_back(SweepCellDetails(m));
    }
    // A clamped value is shown as the box would turn it into.
    for (int j = 0; j < r.y.Count(); ++j) {
        for (int i = 0; i < r.x.Count(); ++i) {
            QString& d = map.details[static_cast<size_t>(j) * r.x.Count() + i];
            if (r.x.Clamped(i))
                d.prepend(
                    QStringLiteral("%1 按 %2 计算\n").arg(map.xName, GeneralText(r.x.used[i])));
            if (r.y.Clamped(j))
                d.prepend(
                    QStringLiteral("%1 按 %2 计算\n").arg(map.yName, GeneralText(r.y.used[j])));
        }
    }
    map.currentX = IndexOf(r.x.used, settings_.Number(r.x.field));
    map.currentY = IndexOf(r.y.used, settings_.Number(r.y.field));
    map_->SetData(std::move(map));

    QString best;
    const std::vector<std::pair<int, int>> top = BestSweepCells(r, choice.metric, 1);
    if (!top.empty()) {
        const auto [i, j] = top.front();
        best = QStringLiteral("最佳：%1 = %2，%3 = %4，%5 %6")
                   .arg(FieldName(r.x.field), r.x.texts[i], FieldName(r.y.field), r.y.texts[j],
                        QString::fromUtf8(choice.caption).section(QLatin1Char(' '), 0, 0),
                        Figure(MetricValue(r.At(i, j), choice.metric)));
    }
    status_->setText(best + QStringLiteral("（白框为当前参数，双击方格填入参数并重新计算）"));
}

void ParameterSearchDialog::OnCellActivated(double x, double y) {
    if (!result_) return;
    const int i = IndexOf(result_->x.typed, x);
    const int j = IndexOf(result_->y.typed, y);
    if (i < 0 || j < 0) return;
    emit CellChosen(result_->x.field, result_->x.texts[static_cast<size_t>(i)], result_->y.field,
                    result_->y.texts[static_cast<size_t>(j)]);
    // The outline follows the plan's values as they are now.
    ShowResult();
}

void ParameterSearchDialog::closeEvent(QCloseEvent* event) {
    Cancel();
    QDialog::closeEvent(event);
}

}  // namespace tovira
