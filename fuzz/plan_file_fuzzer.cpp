// Writes arbitrary bytes as a plan file and reads it both ways: as the window
// opens it (a ledger) and as the command line reads it (a figure table). One
// file must give one plan: the same rows, the same stored cells, the same
// first-day change and the same settings.

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

#include "core/engine/figure_table.h"
#include "core/ledger/ledger_model.h"
#include "core/ledger/plan_settings.h"
#include "core/storage/plan_file.h"

namespace {

const QString& PlanPath() {
    static const QString path =
        QDir::temp().filePath(QStringLiteral("plan_file_fuzzer_%1.ini").arg(getpid()));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovira;
    {
        QFile file(PlanPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
        const auto length = static_cast<qint64>(size);
        if (file.write(reinterpret_cast<const char*>(data), length) != length) __builtin_trap();
    }

    LedgerModel ledger;
    PlanSettings opened;
    OpenPlanOptions options;
    options.mode = Mode::Fact;  // the typed amounts are read too
    options.recalculate = false;
    const OpenOutcome open = OpenPlanFile(PlanPath(), ledger, opened, options);

    PlanSettings read;
    FigureTable table;
    const OpenOutcome figures = ReadPlanFigures(PlanPath(), read, Mode::Fact, table);

    if (open.result != figures.result || open.detail != figures.detail) __builtin_trap();
    for (const FieldInfo& f : Fields()) {
        if (opened.Text(f.field) != read.Text(f.field)) __builtin_trap();
    }
    for (const SwitchInfo& s : Switches()) {
        if (opened.Checked(s.sw) != read.Checked(s.sw)) __builtin_trap();
    }
    if (ledger.LastRow() != table.LastRow()) __builtin_trap();
    for (int row = 1; row <= table.LastRow(); ++row) {
        const StoredRow& stored = table.rows[static_cast<size_t>(row - 1)];
        for (int i = 0; i < StoredRow::kCells; ++i) {
            if (ledger.Cell(row, kStoredColumns[i]) != table.Text(stored.cells[size_t(i)]))
                __builtin_trap();
        }
    }
    if (table.LastRow() > 0 && ledger.Cell(1, Column::DailyChange) != table.firstIncrease)
        __builtin_trap();
    return 0;
}
