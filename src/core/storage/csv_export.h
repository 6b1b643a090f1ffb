#pragma once
// CSV export of the whole ledger, input and computed columns alike.

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/common/messages.h"
#include "core/engine/figure_table.h"
#include "core/ledger/ledger_model.h"

namespace tovira {

// The export text: the header and one line per row, lines ended by CR LF;
// empty when a cell holds a character GBK cannot hold.
QString CsvText(const LedgerModel& ledger);

// The export file's bytes: the text in GBK followed by one more CR LF.
// Nothing when a cell holds a character GBK cannot encode.
std::optional<QByteArray> CsvBytes(const LedgerModel& ledger);
// The same bytes from a plan's texts and the figures of its pass.
std::optional<QByteArray> CsvBytes(const FigureView& table);

// The message naming the first cell (top row first, columns in order) with a
// character GBK cannot hold; empty when the whole ledger can be exported.
QString UnexportableCellMessage(const LedgerModel& ledger);
QString UnexportableCellMessage(const FigureView& table);

// fundCode + "_" + first date + "_" + last date + ".csv", dates as yyyy-M-d.
// Always a plain file name: control characters are dropped, and folder
// separators and characters other systems refuse in names become "_".
QString DefaultCsvName(const QString& fundCode, const LedgerModel& ledger);

// Writes the export (GBK, CR LF, with the extra empty last line). Returns
// false when nothing could be written.
bool ExportCsv(const QString& path, const LedgerModel& ledger);

// The export with the outcome the commands report: no rows, a character GBK
// cannot hold (named with its place), or a file that could not be written.
ExportOutcome ExportCsvFile(const QString& path, const LedgerModel& ledger);
ExportOutcome ExportCsvFile(const QString& path, const FigureView& table);

}  // namespace tovira
