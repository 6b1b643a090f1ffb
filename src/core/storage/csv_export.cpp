#include "core/storage/csv_export.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "core/common/gbk_codec.h"
#include "core/common/ledger_date.h"
#include "core/common/number_text.h"
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

bool IsPercent(Column c) {
    return c == Column::DailyChange || c == Column::CumulativeChange || c == Column::ReturnPct;
}

// The export's bytes as they are made, handed on in pieces of about 64 KiB.
// Cells are written straight into it: no text and no byte array per cell.
class Pieces {
  public:
    static constexpr qsizetype kPiece = 64 * 1024;

    explicit Pieces(qsizetype capacity = kPiece * 2)
        : data_(new char[size_t(capacity)]), capacity_(capacity) {}
    // Room for n more bytes at End(); Advance(count) keeps what was written.
    char* Room(qsizetype n) {
        if (size_ + n > capacity_) Grow(size_ + n);
        return data_.get() + size_;
    }
    void Advance(qsizetype n) { size_ += n; }
    void Put(char c) {
        *Room(1) = c;
        ++size_;
    }
    void Put(QByteArrayView bytes) {
        std::memcpy(Room(bytes.size()), bytes.data(), size_t(bytes.size()));
        size_ += bytes.size();
    }
    bool Full() const { return size_ >= kPiece; }
    const char* Data() const { return data_.get(); }
    qsizetype Size() const { return size_; }
    template <typename Write>
    bool Flush(const Write& write) {
        const bool written = write(QByteArrayView(data_.get(), size_));
        size_ = 0;
        return written;
    }

  private:
    void Grow(qsizetype needed) {
        const qsizetype capacity = std::max(needed, capacity_ * 2);
        std::unique_ptr<char[]> data(new char[size_t(capacity)]);
        std::memcpy(data.get(), data_.get(), size_t(size_));
        data_ = std::move(data);
        capacity_ = capacity;
    }
    std::unique_ptr<char[]> data_;
    qsizetype size_ = 0;
    qsizetype capacity_ = 0;
};

// The most bytes a field of `size` characters takes: two a character, each
// of them a doubled quote, the enclosing quotes and a percent sign.
qsizetype FieldRoom(qsizetype size) { return 4 * size + 3; }

// The writers below write at p, which has the room the field needs, and
// return the end of what they wrote; nullptr when a character has no GBK
// form.

char* PutGbk(char* p, QStringView text) {
    const qsizetype size = WriteGbk(text, p);
    return size < 0 ? nullptr : p + size;
}

// One field with its percent sign, quoted when it needs it, encoded as GBK.
char* PutField(char* p, QStringView text, bool percent) {
    if (!NeedsQuotes(text)) {
        p = PutGbk(p, text);
        if (p != nullptr && percent) *p++ = '%';
        return p;
    }
    QString quoted = text.toString();
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    *p++ = '"';
    p = PutGbk(p, quoted);
    if (p == nullptr) return nullptr;
    if (percent) *p++ = '%';
    *p++ = '"';
    return p;
}

// Writes text when it is plain ASCII needing no quotes (dates, values,
// amounts), as its bytes; nullptr for any other text.
char* PutPlainAscii(char* p, QStringView text) {
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= 0x80 || c == u',' || c == u'"' || c == u'\r' || c == u'\n') return nullptr;
        *p++ = char(c);
    }
    return p;
}

// One row's export line, CR LF included. False when a cell holds a character
// GBK cannot hold.
template <typename Cells>
bool EncodeLine(Pieces& out, const Cells& cells, int row) {
    CellScratch scratch;
    for (int k = 1; k < kColumnCount; ++k) {
        const Column c = static_cast<Column>(k);
        const QStringView text = cells.Cell(row, c, scratch);
        char* const start = out.Room(FieldRoom(text.size()) + 1);
        char* p = start;
        if (k > 1) *p++ = ',';
        if (char* plain = PutPlainAscii(p, text)) {
            p = plain;
            if (IsPercent(c)) *p++ = '%';
        } else if ((p = PutField(p, text, IsPercent(c))) == nullptr) {
            return false;
        }
        out.Advance(p - start);
    }
    out.Put("\r\n");
    return true;
}

// A plan's rows: the computed figures are written as ASCII straight from the
// floats, and each stored text is encoded once for all the rows that share
// it (a long plan repeats its status texts day after day). Each line is
// written at one pointer into room made for it first.
class FigureLines {
  public:
    explicit FigureLines(const FigureView& view) : view_(view) {
        for (int k = 1; k < kColumnCount; ++k) {
            const Column c = static_cast<Column>(k);
            stored_[size_t(k)] = FigureView::IsComputed(c) ? -1 : StoredIndex(c);
        }
    }

    bool Encode(Pieces& out, int row) {
        // Every column's figure room (a figure and its percent sign), the
        // separators, the line end, and the stored texts' room.
        qsizetype room = kColumnCount * (kGeneralTextMax + 2) + 2;
        for (int k = 1; k < kColumnCount; ++k) {
            if (stored_[size_t(k)] >= 0) {
                room += FieldRoom(view_.StoredSpan(row, stored_[size_t(k)]).size);
            }
        }
        char* const start = out.Room(room);
        char* p = start;
        const RowFigures& figures = view_.Figures(row);
        for (int k = 1; k < kColumnCount; ++k) {
            const Column c = static_cast<Column>(k);
            if (k > 1) *p++ = ',';
            if (const int cell = stored_[size_t(k)]; cell >= 0) {
                p = PutStored(p, row, cell);
                if (p == nullptr) return false;
                continue;
            }
            p = PutFigure(p, FigureView::FigureOf(figures, c), figures_[size_t(k)]);
            if (IsPercent(c)) *p++ = '%';
        }
        *p++ = '\r';
        *p++ = '\n';
        out.Advance(p - start);
        return true;
    }

  private:
    struct Encoded {
        TextSpan span;
        bool valid = false;
        QByteArray bytes;
    };
    // A column's figure of the row above and, once it came twice in a row,
    // its text: the shares held, the money invested and the average cost
    // stay the same from one trade to the next.
    struct LastFigure {
        quint32 bits = 0;
        bool seen = false;
        int size = -1;  // of text; -1 while it is not kept
        char text[kGeneralTextMax];
    };

    // A figure that changes is written straight into the line. A kept text
    // is copied whole, room and all: one move of a fixed size (from bytes
    // stored long before, which the processor reads back at once).
    static char* PutFigure(char* p, float value, LastFigure& last) {
        quint32 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        if (!last.seen || bits != last.bits) {
            last.bits = bits;
            last.seen = true;
            last.size = -1;
            return p + FloatTextTo(value, p);
        }
        if (last.size < 0) last.size = FloatTextTo(value, last.text);
        std::memcpy(p, last.text, sizeof last.text);
        return p + last.size;
    }

    char* PutStored(char* p, int row, int k) {
        const TextSpan& span = view_.StoredSpan(row, k);
        Encoded& last = encoded_[size_t(k)];
        if (last.valid && last.span.at == span.at && last.span.size == span.size) {
            std::memcpy(p, last.bytes.constData(), size_t(last.bytes.size()));
            return p + last.bytes.size();
        }
        const QStringView text = view_.Text(span);
        if (char* plain = PutPlainAscii(p, text)) return plain;
        char* const end = PutField(p, text, false);
        if (end == nullptr) return nullptr;
        last.span = span;
        last.valid = true;
        last.bytes = QByteArray(p, end - p);
        return end;
    }

    const FigureView& view_;
    std::array<Encoded, StoredRow::kCells> encoded_;
    std::array<LastFigure, kColumnCount> figures_;
    std::array<int, kColumnCount> stored_{};  // the place in StoredRow::cells; -1 for a figure
};

template <typename Cells>
class CellLines {
  public:
    explicit CellLines(const Cells& cells) : cells_(cells) {}
    bool Encode(Pieces& out, int row) { return EncodeLine(out, cells_, row); }

  private:
    const Cells& cells_;
};

FigureLines LinesOf(const FigureView& view) { return FigureLines(view); }

bool PutHeader(Pieces& out) {
    const QStringView header(kHeader);
    char* const start = out.Room(2 * header.size());
    char* const end = PutGbk(start, header);
    if (end == nullptr) return false;
    out.Advance(end - start);
    return true;
}
CellLines<LedgerCells> LinesOf(const LedgerCells& cells) { return CellLines<LedgerCells>(cells); }

// Rows from..to (from 1) into out, flushed to write whenever a piece is full;
// false when a cell cannot be encoded or a write fails.
template <typename Cells, typename Write>
bool ProduceRows(const Cells& cells, int from, int to, Pieces& out, const Write& write) {
    auto lines = LinesOf(cells);
    for (int row = from; row <= to; ++row) {
        if (!lines.Encode(out, row)) return false;
        if (out.Full() && !out.Flush(write)) return false;
    }
    return true;
}

// The same rows all kept in out.
template <typename Cells>
bool KeepRows(const Cells& cells, int from, int to, Pieces& out) {
    auto lines = LinesOf(cells);
    for (int row = from; row <= to; ++row) {
        if (!lines.Encode(out, row)) return false;
    }
    return true;
}

// A plan this long has its later rows made on a second processor while the
// first rows are made and written: the work per row is the same, so each
// takes half. The second half is held whole until its turn comes.
constexpr int kRowsForTwoThreads = 4096;

bool TwoThreads(int rows) {
    return rows >= kRowsForTwoThreads && std::thread::hardware_concurrency() > 1;
}

// The rows after `split` made on another thread into `tail`, all at once.
class TailRows {
  public:
    TailRows(const FigureView& view, int split)
        : tail_(qsizetype(view.LastRow() - split) * kLineRoom + Pieces::kPiece) {
        try {
            thread_ = std::thread(
                [this, &view, split] { made_ = KeepRows(view, split + 1, view.LastRow(), tail_); });
        } catch (const std::system_error&) {  // no thread to be had: made here
            made_ = KeepRows(view, split + 1, view.LastRow(), tail_);
        }
    }
    TailRows(const TailRows&) = delete;
    TailRows& operator=(const TailRows&) = delete;
    ~TailRows() { Wait(); }
    // Waits for the rows; false when a cell could not be encoded.
    bool Wait() {
        if (thread_.joinable()) thread_.join();
        return made_;
    }
    Pieces& Bytes() { return tail_; }

  private:
    // Room for lines of the usual length: a longer one makes more.
    static constexpr qsizetype kLineRoom = 160;
    Pieces tail_;
    bool made_ = false;
    std::thread thread_;
};

// The export's bytes in pieces of about 64 KiB, each handed to write; false
// when a cell cannot be encoded or a write fails.
template <typename Cells, typename Write>
bool Produce(const Cells& cells, const Write& write) {
    Pieces out;
    if (!PutHeader(out)) return false;
    if (!ProduceRows(cells, 1, cells.LastRow(), out, write)) return false;
    // The writer ends the text with one more line end.
    out.Put("\r\n");
    return out.Flush(write);
}

template <typename Write>
bool Produce(const FigureView& view, const Write& write) {
    const int n = view.LastRow();
    if (!TwoThreads(n)) return Produce<FigureView, Write>(view, write);
    const int split = n / 2;
    TailRows tail(view, split);
    Pieces out;
    if (!PutHeader(out)) return false;
    if (!ProduceRows(view, 1, split, out, write) || !out.Flush(write) || !tail.Wait()) {
        return false;
    }
    tail.Bytes().Put("\r\n");
    return tail.Bytes().Flush(write);
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
