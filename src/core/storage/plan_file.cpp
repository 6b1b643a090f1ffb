#include "core/storage/plan_file.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "core/common/gbk_codec.h"
#include "core/common/numbers.h"
#include "core/storage/file_io.h"
#include "core/storage/ini_document.h"

namespace tovira {
namespace {

const QString& SettingsSection() {
    static const QString s = QStringLiteral("设置");
    return s;
}
const QString& SpecialSection() {
    static const QString s = QStringLiteral("特殊数据");
    return s;
}
QString RowSection(int row) {
    return QStringLiteral("第") + QString::number(row) + QStringLiteral("行");
}

struct RowKey {
    const char* key;
    Column column;
    bool factOnly;
};
constexpr RowKey kRowKeys[] = {
    {"Date", Column::Date, false},
    {"NetValue", Column::NetValue, false},
    {"PurchaseAmount", Column::PurchaseAmount, true},
    {"RedeemShares", Column::RedeemShares, true},
    {"PurchaseEnabled", Column::PurchaseStatus, false},
    {"RedeemEnabled", Column::RedeemStatus, false},
    {"RedConversion", Column::DividendAction, false},
};

// The figure read keeps, per row, one flag for each key read and one for the
// row's section: all of them must fit the flags' byte.
using RowFlags = quint8;
constexpr int kRowKeyCount = static_cast<int>(std::size(kRowKeys));
constexpr RowFlags kRowSectionRead = RowFlags(1u << (std::numeric_limits<RowFlags>::digits - 1));
static_assert(kRowKeyCount + 1 <= std::numeric_limits<RowFlags>::digits,
              "a flag for every row key and one for the section fit in RowFlags");
constexpr RowFlags RowKeyRead(int k) { return RowFlags(1u << k); }

// The message naming a character of a cell that the save cannot encode.
QString UnsavableCellMessage(int row, Column column, const QString& c) {
    return QString::fromUtf8(kMsgUnsavableCell)
        .arg(QString::number(row), QString::fromUtf8(ColumnOf(column).caption), c,
             CodePointText(c));
}

// The message naming the first text the save cannot encode, in the order the
// save writes them; empty when everything can be saved.
QString UnsavableTextMessage(const LedgerModel& ledger, const PlanSettings& settings, Mode mode) {
    for (Field f : StoredFieldOrder()) {
        if (const std::optional<QString> c = FirstNonGbkCharacter(settings.Text(f))) {
            return QString::fromUtf8(kMsgUnsavableSetting)
                .arg(QString::fromUtf8(FieldOf(f).iniKey), *c, CodePointText(*c));
        }
    }
    if (const std::optional<QString> c =
            FirstNonGbkCharacter(ledger.Cell(1, Column::DailyChange))) {
        return UnsavableCellMessage(1, Column::DailyChange, *c);
    }
    const int n = ledger.LastRow();
    for (int row = 1; row <= n; ++row) {
        for (const RowKey& k : kRowKeys) {
            if (k.factOnly && mode != Mode::Fact) continue;
            if (const std::optional<QString> c = FirstNonGbkCharacter(ledger.Cell(row, k.column))) {
                return UnsavableCellMessage(row, k.column, *c);
            }
        }
    }
    return QString();
}

}  // namespace

QString CodePointText(const QString& character) {
    const char32_t c = character.size() == 2 && character[0].isHighSurrogate()
                           ? QChar::surrogateToUcs4(character[0], character[1])
                           : (character.isEmpty() ? char32_t(0) : char32_t(character[0].unicode()));
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}

QString PlanFolder(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("我的基金"));
}

QString PlanFilePath(const QString& programFolder, const QString& fundCode) {
    return PlanFolder(programFolder) + QLatin1Char('/') + fundCode + QStringLiteral(".ini");
}

bool IsFundCode(const QString& text) { return text.size() == 6 && StrictNumber(text).has_value(); }

bool IsUsableFundCode(const QString& fundCode) {
    if (fundCode.isEmpty()) return false;
    for (QChar c : fundCode) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

SaveOutcome SavePlanFile(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                         const QString& programFolder, const QString& fundCode) {
    return SavePlanFileAt(ledger, settings, mode, PlanFilePath(programFolder, fundCode), fundCode);
}

SaveOutcome SavePlanFileAt(LedgerModel& ledger, const PlanSettings& settings, Mode mode,
                           const QString& path, const QString& fundCode,
                           const FileStamp* expected) {
    SaveOutcome outcome;
    // An empty or garbled code would name the file ".ini" or worse.
    if (!IsUsableFundCode(fundCode)) {
        outcome.result = SaveResult::BadFundCode;
        return outcome;
    }
    outcome.path = path;
    const int n = ledger.LastRow();
    if (n == 0) {
        outcome.result = SaveResult::NoRows;
        return outcome;
    }

    // Refused before anything is written, naming the character and its place.
    outcome.detail = UnsavableTextMessage(ledger, settings, mode);
    if (!outcome.detail.isEmpty()) {
        outcome.result = SaveResult::Unsavable;
        return outcome;
    }

    IniDocument doc;
    // Keys the save does not write must survive, so an existing file that
    // cannot be read must not be replaced.
    if (QFileInfo::exists(path) && !doc.Load(path)) {
        outcome.result = SaveResult::Failed;
        return outcome;
    }
    const QString& set = SettingsSection();
    for (const SwitchInfo& sw : Switches()) {
        doc.SetValue(set, QString::fromLatin1(sw.key),
                     settings.Checked(sw.sw) ? QStringLiteral("1") : QStringLiteral("0"));
        if (sw.sw == Switch::BreakAlert) doc.SetValue(set, QStringLiteral("基金代码"), fundCode);
    }
    for (Field f : StoredFieldOrder()) {
        doc.SetValue(set, QString::fromUtf8(FieldOf(f).iniKey), settings.Text(f));
    }
    doc.SetValue(SpecialSection(), QStringLiteral("行数"), QString::number(n));
    doc.SetValue(SpecialSection(), QStringLiteral("Increase"), ledger.Cell(1, Column::DailyChange));
    for (int row = 1; row <= n; ++row) {
        const QString section = RowSection(row);
        for (const RowKey& k : kRowKeys) {
            const QString key = QString::fromLatin1(k.key);
            if (!k.factOnly || mode == Mode::Fact) {
                doc.SetValue(section, key, ledger.Cell(row, k.column));
                continue;
            }
            // 理论计算 shows computed figures here: the row's typed amount is
            // the one kept with it. An amount the file holds for this place
            // that belongs to no row any more (rows removed, cleared or
            // downloaded anew) is emptied.
            const QString& kept = ledger.KeptTypedAmount(row, k.column);
            // The amount the file holds here, when it is the row's, stays as
            // stored, byte for byte: it was not typed in this mode, and bytes
            // that do not decode would not survive being written anew.
            const std::optional<QString> stored = doc.Find(section, key);
            if (stored ? *stored == kept : kept.isEmpty()) continue;
            // One that moved with its row is written anew; what GBK cannot
            // hold is named, as the 实际操作 save names it in the cell.
            if (const std::optional<QString> c = FirstNonGbkCharacter(kept)) {
                outcome.result = SaveResult::Unsavable;
                outcome.detail = UnsavableCellMessage(row, k.column, *c);
                return outcome;
            }
            doc.SetValue(section, key, kept);
        }
    }
    // The folder is made only for a file that is written into it: a refused
    // save leaves no trace, and one that fails takes the folder it made away.
    const QString folder = QFileInfo(path).absolutePath();
    const bool madeFolder = !QFileInfo(folder).isDir();
    if (madeFolder && !QDir().mkpath(folder)) {
        outcome.result = SaveResult::Failed;
        return outcome;
    }
    // Checked right before the new file takes the old one's place: what
    // another program wrote after the plan was read is never overwritten.
    bool changed = false;
    const auto unchanged = [&] {
        changed = expected && StampOf(path) != *expected;
        return !changed;
    };
    const std::optional<QByteArray> bytes = doc.ToBytes();
    const WriteResult written =
        bytes ? WriteFileAtomicallyWithResult(
                    path, [&](const ByteSink& write) { return write(*bytes); }, unchanged)
              : WriteResult::Failed;
    if (written == WriteResult::Failed) {
        if (madeFolder) QDir().rmdir(folder);
        outcome.result = changed ? SaveResult::ChangedOnDisk : SaveResult::Failed;
        return outcome;
    }
    // The typed amounts just written are the ones the rows keep.
    if (mode == Mode::Fact) {
        for (int row = 1; row <= n; ++row) {
            for (const Column c : {Column::PurchaseAmount, Column::RedeemShares}) {
                ledger.SetKeptTypedAmount(row, c, ledger.Cell(row, c));
            }
        }
    }
    if (written == WriteResult::Unconfirmed) {
        // The file holds the plan, but the disk has not confirmed it: the
        // rows still count as unsaved, so that the next close or change of
        // fund asks to save once more.
        outcome.result = SaveResult::SavedUnconfirmed;
        return outcome;
    }
    ledger.SetInputsModified(false);
    outcome.result = SaveResult::Saved;
    return outcome;
}

namespace {

// What every open checks first: whether the path may be read as a plan.
bool MayOpen(const QString& path, OpenOutcome& outcome) {
    // A pipe or a device is no plan file (reading it could wait or run on
    // forever); links are followed.
    if (!QFileInfo(path).isFile()) return false;
    if (!path.endsWith(QStringLiteral(".ini"), Qt::CaseSensitive)) {
        outcome.result = OpenResult::WrongFormat;
        return false;
    }
    return true;
}

OpenOutcome Unreadable(const QString& path) {
    OpenOutcome outcome;
    outcome.result = OpenResult::Unreadable;
    outcome.detail = QDir::toNativeSeparators(path);
    return outcome;
}

// Then the row count and the settings from the read document.
bool ApplyHead(const IniDocument& doc, PlanSettings& settings, int& n, OpenOutcome& outcome) {
    // A count beyond what the ledger holds would otherwise open as no rows at
    // all, as if the file had none.
    const QString countText = doc.Value(SpecialSection(), QStringLiteral("行数"));
    if (const std::optional<double> rows = StrictNumber(countText);
        rows && std::nearbyint(*rows) > 32767) {
        outcome.result = OpenResult::TooManyRows;
        outcome.detail = QString::number(std::nearbyint(*rows), 'g', 15);
        return false;
    }

    const QString& set = SettingsSection();
    for (const SwitchInfo& sw : Switches()) {
        const std::optional<int16_t> state =
            StrictInt16(doc.Value(set, QString::fromLatin1(sw.key)));
        // "0" and "1" set the switch; anything else leaves it as it was.
        if (state && (*state == 0 || *state == 1)) settings.SetChecked(sw.sw, *state == 1);
    }
    for (Field f : StoredFieldOrder()) {
        settings.SetText(f, doc.Value(set, QString::fromUtf8(FieldOf(f).iniKey)));
    }

    const std::optional<int16_t> count = StrictInt16(countText);
    n = count && *count > 0 ? *count : 0;
    return true;
}

}  // namespace

OpenOutcome OpenPlanFile(const QString& path, LedgerModel& ledger, PlanSettings& settings,
                         const OpenPlanOptions& options) {
    OpenOutcome outcome;
    if (!MayOpen(path, outcome)) return outcome;
    IniDocument doc;
    // Nothing is changed when the file cannot be read: the settings shown
    // stay as they are.
    if (!doc.Load(path)) return Unreadable(path);
    int n = 0;
    if (!ApplyHead(doc, settings, n, outcome)) return outcome;
    const QString& set = SettingsSection();
    {
        BulkUpdate bulk(ledger);
        ledger.ReserveRows(n);
        for (int row = 1; row <= n; ++row) {
            if (ledger.LastRow() < row && !ledger.AddRow(QString::number(row))) break;
            const QString section = RowSection(row);
            for (const RowKey& k : kRowKeys) {
                const QString value = doc.Value(section, QString::fromLatin1(k.key));
                if (k.factOnly) {
                    // Kept with the row, whatever the mode shows in its cell,
                    // until a save writes it back.
                    ledger.SetKeptTypedAmount(row, k.column, value);
                    if (options.mode != Mode::Fact) continue;
                }
                // Status texts repeat day after day: share the row above's
                // string instead of keeping thousands of equal copies.
                const QString& above = ledger.Cell(row - 1, k.column);
                ledger.SetCell(row, k.column, value == above ? above : value);
            }
        }
    }

    // The rows just read are the file's, not unsaved work.
    ledger.SetInputsModified(false);
    // A plan that names no fund (no key, or an empty one) keeps its rows: an
    // empty code would clear the ledger and point the window at no plan.
    const QString storedCode = doc.Value(set, QStringLiteral("基金代码"));
    if (options.setFundCode && !storedCode.isEmpty() && options.setFundCode(storedCode)) {
        // Another plan took the ledger's place (it is loaded and
        // recalculated); this file's first-day change is not its.
        outcome.result = OpenResult::Opened;
        return outcome;
    }
    ledger.SetCell(1, Column::DailyChange, doc.Value(SpecialSection(), QStringLiteral("Increase")));
    if (options.recalculate) Recalculate(ledger, settings, options.mode);
    // What was just read is what the file holds.
    ledger.SetInputsModified(false);
    outcome.result = OpenResult::Opened;
    return outcome;
}

namespace {

// The row of a section named "第N行" as the save writes it; 0 for any other
// name.
int RowOfSection(QByteArrayView name) {
    static const QByteArray prefix = *EncodeGbk(QStringLiteral("第"));
    static const QByteArray suffix = *EncodeGbk(QStringLiteral("行"));
    if (name.size() <= prefix.size() + suffix.size() || !name.startsWith(prefix) ||
        !name.endsWith(suffix)) {
        return 0;
    }
    const QByteArrayView digits =
        name.sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 5 || digits.front() == '0') return 0;
    int row = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        row = row * 10 + (c - '0');
    }
    return row <= LedgerModel::kMaxRows ? row : 0;
}

// Whether a key of the file is the row key `key`: as SameName matches them,
// for an ASCII key (a byte of a double-byte character never equals one).
bool IsRowKey(QByteArrayView name, QLatin1StringView key) {
    if (name.size() != key.size()) return false;
    // As the save writes it, nearly always.
    if (std::memcmp(name.data(), key.data(), size_t(name.size())) == 0) return true;
    const auto fold = [](uchar c) { return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c; };
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (fold(uchar(name[i])) != fold(uchar(key.data()[i]))) return false;
    }
    return true;
}

bool IsPlainAscii(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (uchar(c) >= 0x80 || c == '\r') return false;
    }
    return true;
}

// The value last stored into one stored column, as the file held it: a row
// that holds the same bytes (the statuses, day after day) shares its text
// without decoding it again.
struct LastValue {
    std::string stored;
    TextSpan span;
    bool valid = false;
};

}  // namespace

OpenOutcome ReadPlanFigures(const QString& path, PlanSettings& settings, Mode mode,
                            FigureTable& table) {
    OpenOutcome outcome;
    table = FigureTable();
    table.mode = mode;
    if (!MayOpen(path, outcome)) return outcome;

    // One pass over the file, keeping only what is used: the rows' cells go
    // straight into the table, every other line into a small document for
    // the settings. Names and duplicates are settled as the document settles
    // them: the first section and the first key of a name win.
    QLatin1StringView keys[kRowKeyCount];
    int cells[kRowKeyCount];  // the place in StoredRow::cells
    int keyCount = 0;
    for (const RowKey& k : kRowKeys) {
        if (k.factOnly && mode != Mode::Fact) continue;
        keys[keyCount] = QLatin1StringView(k.key);
        cells[keyCount++] = StoredIndex(k.column);
    }
    // The other lines are handed to the document as they stood: each ends in
    // CR LF, which the document takes off again whatever the line itself ends
    // in (a stray CR stays the line's), and the empty first line keeps the
    // first of them from starting the document, where the bytes of a byte
    // order mark would be dropped.
    QByteArray rest = "\r\n";
    std::vector<RowFlags> taken;  // per row: which keys were read, and whether its section came
    std::array<LastValue, StoredRow::kCells>
        previous;  // the texts read last, to share repeated ones
    int row = 0;   // the row whose section is being read; 0 in any other
    bool inRow = false;
    // Room for the most rows a plan may have: untouched room costs no memory,
    // and the rows never move while they are read.
    table.rows.reserve(static_cast<size_t>(LedgerModel::kMaxRows));
    table.texts.reserve(qsizetype(LedgerModel::kMaxRows) * 24);
    taken.reserve(static_cast<size_t>(LedgerModel::kMaxRows));
    const bool read =
        IniDocument::ScanLines(path, [&](const IniDocument::Line& line, QByteArrayView text) {
            if (line.kind == IniDocument::Line::Kind::Section) {
                row = RowOfSection(line.name);
                inRow = row > 0;
                if (inRow) {
                    if (taken.size() < size_t(row)) taken.resize(size_t(row), 0);
                    RowFlags& flags = taken[size_t(row - 1)];
                    if (flags & kRowSectionRead) row = 0;  // a repeated section is never read
                    flags |= kRowSectionRead;
                    return;
                }
            }
            if (!inRow) {
                rest += text;
                rest += "\r\n";
                return;
            }
            if (row == 0 || line.kind != IniDocument::Line::Kind::Key) return;
            for (int k = 0; k < keyCount; ++k) {
                RowFlags& flags = taken[size_t(row - 1)];
                if ((flags & RowKeyRead(k)) || !IsRowKey(line.name, keys[k])) continue;
                flags = RowFlags(flags | RowKeyRead(k));
                if (table.rows.size() < size_t(row)) table.rows.resize(size_t(row));
                // Repeated texts (the statuses, day after day) are stored once.
                LastValue& last = previous[size_t(cells[k])];
                const QByteArrayView stored = line.value;
                if (!last.valid || QByteArrayView(last.stored) != stored) {
                    const QByteArrayView bytes = IniDocument::ValueBytes(stored);
                    last.span = IsPlainAscii(bytes)
                                    ? table.StoreAscii(bytes, last.span)
                                    : table.Store(IniDocument::ValueText(stored), last.span);
                    last.stored.assign(stored.data(), size_t(stored.size()));
                    last.valid = true;
                }
                table.rows[size_t(row - 1)].cells[size_t(cells[k])] = last.span;
                break;
            }
        });

    if (!read) {
        // What came before a read error is not the plan.
        table = FigureTable();
        table.mode = mode;
        return Unreadable(path);
    }
    IniDocument head;
    head.Parse(rest);
    int n = 0;
    if (!ApplyHead(head, settings, n, outcome)) {
        table.rows.clear();
        return outcome;
    }
    table.rows.resize(static_cast<size_t>(n));
    table.firstIncrease = head.Value(SpecialSection(), QStringLiteral("Increase"));
    outcome.result = OpenResult::Opened;
    return outcome;
}

}  // namespace tovira
