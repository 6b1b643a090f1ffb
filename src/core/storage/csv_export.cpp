#include "core/storage/csv_export.h"

#include <QDate>
#include <vector>

#include "core/common/gbk_codec.h"
#include "core/common/ledger_date.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"
#include "core/storage/plan_file.h"

namespace tovira {
namespace {

// Fields holding a separator, a quote or a line break are quoted so that a
// typed comma cannot shift the columns; every other field is written as is.
bool NeedsQuotes(QStringView text) {
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') return true;
    }
    return false;
}

bool IsControl(QChar c) { return c.category() == QChar::Other_Control; }

// Keeps a piece of the proposed file name plain: control characters (NUL
// among them) are dropped, and a folder separator or a character other
// systems refuse in names becomes "_".
QString PlainNamePart(QString text) {
    text.removeIf(IsControl);
    for (QChar& c : text) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
            c == u'<' || c == u'>' || c == u'|') {
            c = u'_';
        }
    }
    return text;
}

// A date cell may hold anything typed or read from a plan file.
QString DatePart(const QString& text) {
    QString cell = QString(text).removeIf(IsControl).trimmed();
    if (const std::optional<QDate> d = ReadLedgerDate(cell)) {
        return QStringLiteral("%1-%2-%3").arg(d->year()).arg(d->month()).arg(d->day());
    }
    return PlainNamePart(cell.replace(u'/', u'-'));
}

}  // namespace

namespace {

const char16_t kHeader[] =
    u"日期,净值,单日涨幅,累计涨幅,申购金额,确认份额,赎回份额,确认金额,持有份额,资产市值,总投入,"
    u"净盈亏,净收益率,持仓成本,申购状态,赎回状态,分红配送\r\n";

// One row's export line, CR LF included, encoded as GBK straight into line
// (no text of the whole line is made). False when a cell holds a character
// GBK cannot hold.
template <typename Cells>
bool EncodeLine(QByteArray& line, const Cells& cells, int row) {
    CellScratch scratch;
    QString quoted;
    line.resize(0);
    for (int p = 1; p < kColumnCount; ++p) {
        const Column c = static_cast<Column>(p);
        if (p > 1) line += ',';
        const bool percent =
            c == Column::DailyChange || c == Column::CumulativeChange || c == Column::ReturnPct;
        QStringView text = cells.Cell(row, c, scratch);
        const bool quote = NeedsQuotes(text);
        if (quote) {
            quoted = text.toString();
            quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            text = quoted;
            line += '"';
        }
        const qsizetype at = line.size();
        line.resize(at + text.size() * 2);
        const qsizetype size = WriteGbk(text, line.data() + at);
        if (size < 0) return false;
        line.resize(at + size);
        if (percent) line += '%';
        if (quote) line += '"';
    }
    line += "\r\n";
    return true;
}

// The export's bytes in pieces of about 64 KiB, each handed to write; false
// when a cell cannot be encoded or a write fails.
template <typename Cells, typename Write>
bool Produce(const Cells& cells, const Write& write) {
    const std::optional<QByteArray> header = EncodeGbk(QString::fromUtf16(kHeader));
    if (!header) return false;
    constexpr size_t kPiece = 64 * 1024;
    std::vector<char> piece(header->begin(), header->end());
    piece.reserve(kPiece + 1024);
    QByteArray line;
    line.reserve(512);
    const int n = cells.LastRow();
    for (int row = 1; row <= n; ++row) {
        if (!EncodeLine(line, cells, row)) return false;
        piece.insert(piece.end(), line.cbegin(), line.cend());
        if (piece.size() >= kPiece) {
            if (!write(QByteArrayView(piece.data(), qsizetype(piece.size())))) return false;
            piece.clear();
        }
    }
    // The writer ends the text with one more line end.
    piece.push_back('\r');
    piece.push_back('\n');
    return write(QByteArrayView(piece.data(), qsizetype(piece.size())));
}

template <typename Cells>
std::optional<QByteArray> Bytes(const Cells& cells) {
    QByteArray bytes;
    bytes.reserve(qsizetype(cells.LastRow()) * 128 + 256);
    if (!Produce(cells, [&](QByteArrayView piece) {
            bytes.append(piece);
            return true;
        })) {
        return std::nullopt;
    }
    return bytes;
}

// Writes the export piece by piece: a long ledger is never held whole in
// bytes as well.
template <typename Cells>
bool Write(const QString& path, const Cells& cells) {
    return WriteFileAtomically(path, [&](const ByteSink& write) { return Produce(cells, write); });
}

template <typename Cells>
QString UnexportableMessage(const Cells& cells) {
    const int n = cells.LastRow();
    CellScratch scratch;
    for (int row = 1; row <= n; ++row) {
        for (int p = 1; p < kColumnCount; ++p) {
            const Column c = static_cast<Column>(p);
            const QStringView text = cells.Cell(row, c, scratch);
            // Computed figures are plain ASCII.
            bool ascii = true;
            for (QChar ch : text) ascii = ascii && ch.unicode() < 0x80;
            if (ascii) continue;
            if (const std::optional<QString> ch = FirstNonGbkCharacter(text.toString())) {
                return QString::fromUtf8(kMsgUnexportableCell)
                    .arg(QString::number(row), QString::fromUtf8(ColumnOf(c).caption), *ch,
                         CodePointText(*ch));
            }
        }
    }
    return QString();
}

}  // namespace

QString CsvText(const LedgerModel& ledger) {
    const std::optional<QByteArray> bytes = CsvBytes(ledger);
    // Without the writer's extra line end.
    return bytes ? DecodeGbk(bytes->chopped(2)) : QString();
}

std::optional<QByteArray> CsvBytes(const LedgerModel& ledger) { return Bytes(LedgerCells{ledger}); }
std::optional<QByteArray> CsvBytes(const FigureView& table) { return Bytes(table); }

QString UnexportableCellMessage(const LedgerModel& ledger) {
    return UnexportableMessage(LedgerCells{ledger});
}
QString UnexportableCellMessage(const FigureView& table) { return UnexportableMessage(table); }

QString DefaultCsvName(const QString& fundCode, const LedgerModel& ledger) {
    const int n = ledger.LastRow();
    return PlainNamePart(fundCode) + u'_' + DatePart(ledger.Cell(1, Column::Date)) + u'_' +
           DatePart(ledger.Cell(n, Column::Date)) + QStringLiteral(".csv");
}

bool ExportCsv(const QString& path, const LedgerModel& ledger) {
    return Write(path, LedgerCells{ledger});
}

namespace {

template <typename Cells>
ExportOutcome Export(const QString& path, const Cells& cells) {
    ExportOutcome outcome;
    if (cells.LastRow() == 0) {
        outcome.result = ExportResult::NoData;
    } else if (Write(path, cells)) {
        outcome.result = ExportResult::Exported;
    } else {
        // A character GBK cannot hold is named with its place; anything else
        // is the file itself.
        outcome.detail = UnexportableMessage(cells);
        outcome.result =
            outcome.detail.isEmpty() ? ExportResult::Failed : ExportResult::Unexportable;
    }
    return outcome;
}

}  // namespace

ExportOutcome ExportCsvFile(const QString& path, const LedgerModel& ledger) {
    return Export(path, LedgerCells{ledger});
}

ExportOutcome ExportCsvFile(const QString& path, const FigureView& table) {
    return Export(path, table);
}

}  // namespace tovira
