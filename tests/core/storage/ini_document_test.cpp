#include "core/storage/ini_document.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "core/common/gbk_codec.h"
#include "support/test_support.h"

namespace tovira {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

using test::ReadFileBytes;

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Takes write access away from a file or folder for the guard's lifetime.
// Root ignores permission bits, so there the immutable attribute stands in;
// ok() is false when neither works here.
class Unwritable {
  public:
    explicit Unwritable(const QString& path) : path_(path) {
        if (geteuid() != 0) {
            original_ = QFile::permissions(path);
            made_ =
                QFile::setPermissions(path, original_ & ~(QFile::WriteOwner | QFile::WriteUser |
                                                          QFile::WriteGroup | QFile::WriteOther));
        } else {
            made_ = SetImmutable(true);
        }
    }
    ~Unwritable() {
        if (!made_) return;
        if (geteuid() != 0) {
            QFile::setPermissions(path_, original_);
        } else {
            SetImmutable(false);
        }
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;
    bool ok() const { return made_; }

  private:
    bool SetImmutable(bool on) {
        const int fd = open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return done;
    }

    QString path_;
    QFile::Permissions original_;
    bool made_ = false;
};

TEST(IniDocumentTest, ReadsLikeTheWindowsProfileFunctions) {
    IniDocument doc;
    doc.Parse(
        "\xEF\xBB\xBF"
        "orphan=before any section\r\n"
        "[Settings]\n"  // LF and CR LF mixed
        "  SPRemind \t=\t 1  \r\n"
        "Quoted=\"  spaced  \"\r\n"
        "Half=\"open\n"
        "Empty=\r\n"
        "Dup=first\r\n"
        "DUP=second\r\n"
        "just some words\r\n"
        "=no key\r\n"
        "[ settings ]\r\n"
        "Other=in the second section of that name\r\n"
        "[Rows] \xB5\x5D\r\n"  // junk after the name ends in a GBK character whose second byte is
                               // ']'
        "k=rows\r\n"
        "[\xB5\x41]\r\n"  // 礎, second byte 'A'
        "k=upper\r\n"
        "[\xC9\xE8\xD6\xC3]\r\n"
        "\xBB\xF9\xBD\xF0\xB4\xFA\xC2\xEB=\xD4\xDD\xCD\xA3\xC9\xEA\xB9\xBA");  // no final line end

    EXPECT_EQ(doc.Find("settings", "spremind"), QString("1"));
    EXPECT_EQ(doc.Find("SETTINGS", "quoted"), QString("  spaced  "));
    EXPECT_EQ(doc.Find("Settings", "Half"), QString("\"open"));
    EXPECT_EQ(doc.Find("Settings", "Empty"), QString(""));
    EXPECT_EQ(doc.Find("Settings", "dup"), QString("first"));
    EXPECT_EQ(doc.Find("Settings", "Other"), std::nullopt);
    EXPECT_EQ(doc.Find("Settings", "just some words"), std::nullopt);
    EXPECT_EQ(doc.Find("Settings", "Missing"), std::nullopt);
    EXPECT_EQ(doc.Value("Settings", "Missing"), QString());
    EXPECT_EQ(doc.Find("", "orphan"), std::nullopt);
    EXPECT_FALSE(doc.HasSection(""));

    EXPECT_EQ(doc.Value("rows", "K"), QString("rows"));
    // Only single-byte letters fold: 礱 differs from 礎 by 'a' against 'A'
    // in its second byte.
    EXPECT_EQ(doc.Value(U("礎"), "k"), QString("upper"));
    EXPECT_FALSE(doc.HasSection(U("礱")));
    EXPECT_EQ(doc.Value(U("设置"), U("基金代码")), U("暂停申购"));
}

TEST(IniDocumentTest, SavesGbkWithCrLfAndReadsItBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("210009.ini");

    IniDocument doc;
    doc.SetValue(U("设置"), "SPRemind", "1");
    doc.SetValue(U("设置"), U("基金代码"), "000001");
    doc.SetValue(U("第1行"), "PurchaseEnabled", U("暂停申购"));
    doc.SetValue(U("第1行"), "RedeemShares", "");
    doc.SetValue(U("设置"), "Quoted", "\"x\"");
    ASSERT_TRUE(doc.Save(path));

    EXPECT_EQ(ReadFileBytes(path), QByteArray("[\xC9\xE8\xD6\xC3]\r\n"
                                              "SPRemind=1\r\n"
                                              "\xBB\xF9\xBD\xF0\xB4\xFA\xC2\xEB=000001\r\n"
                                              "Quoted=\"\"x\"\"\r\n"
                                              "[\xB5\xDA\x31\xD0\xD0]\r\n"
                                              "PurchaseEnabled=\xD4\xDD\xCD\xA3\xC9\xEA\xB9\xBA\r\n"
                                              "RedeemShares=\r\n"));
    EXPECT_EQ(doc.ToText(), U("[设置]\r\nSPRemind=1\r\n基金代码=000001\r\nQuoted=\"\"x\"\"\r\n"
                              "[第1行]\r\nPurchaseEnabled=暂停申购\r\nRedeemShares=\r\n"));

    IniDocument back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Value(U("设置"), U("基金代码")), QString("000001"));
    EXPECT_EQ(back.Value(U("第1行"), "purchaseenabled"), U("暂停申购"));
    EXPECT_EQ(back.Find(U("第1行"), "RedeemShares"), QString(""));
    // A value set in quotes keeps them, in memory and after a reload: the
    // file holds it in one more pair, which the reader takes off.
    EXPECT_EQ(doc.Value(U("设置"), "Quoted"), QString("\"x\""));
    EXPECT_EQ(back.Value(U("设置"), "Quoted"), QString("\"x\""));

    IniDocument missing;
    EXPECT_FALSE(missing.Load(dir.filePath("none.ini")));
    EXPECT_FALSE(missing.HasSection(U("设置")));
}

TEST(IniDocumentTest, KeepsWhatASaveDoesNotTouch) {
    IniDocument doc;
    doc.Parse(
        "; written by hand\n"
        "\n"
        "[A]\n"
        "a = 1\n"
        "b = 2\n"
        "odd line\n"
        "dup=first\n"
        "Dup=second\n"
        "q=\"kept\"\n"
        "[\xB5\xDA\x32\xD0\xD0]\n"
        "Date=2020/1/2\n"
        "[\xB5\xDA\x31\xD0\xD0]\n"
        "Date=2020/1/1\n"
        "comment \x81\x30\x81\x30\n");  // a GB18030 four-byte character stays as it was
    doc.SetValue("A", "a", "10");
    doc.SetValue("A", "b", "2");  // unchanged: the line keeps its spacing
    doc.SetValue("a", "DUP", "new");
    doc.SetValue(U("第1行"), "date", "2020/1/3");

    const std::optional<QByteArray> bytes = doc.ToBytes();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, QByteArray("; written by hand\r\n"
                                 "\r\n"
                                 "[A]\r\n"
                                 "a=10\r\n"
                                 "b = 2\r\n"
                                 "odd line\r\n"
                                 "dup=new\r\n"
                                 "Dup=second\r\n"
                                 "q=\"kept\"\r\n"
                                 "[\xB5\xDA\x32\xD0\xD0]\r\n"
                                 "Date=2020/1/2\r\n"
                                 "[\xB5\xDA\x31\xD0\xD0]\r\n"
                                 "Date=2020/1/3\r\n"
                                 "comment \x81\x30\x81\x30\r\n"));
}

TEST(IniDocumentTest, PlacesNewKeysAfterTheLastKeyAndNewSectionsAtTheEnd) {
    IniDocument doc;
    doc.ParseText(
        "[A]\r\n"
        "a=1\r\n"
        "; about B\r\n"
        "\r\n"
        "[B]\r\n"
        "\r\n"
        "[C]\r\n"
        "; only a comment\r\n"
        "\r\n");
    doc.SetValue("A", "b", "2");
    doc.SetValue("a", "c", "3");
    doc.SetValue("B", "x", "4");
    doc.SetValue("C", "y", "5");
    doc.SetValue("D", "z", "6");
    doc.SetValue("B", "w", "7");
    doc.SetValue("A", "", "ignored");
    EXPECT_EQ(doc.ToText(), QString("[A]\r\n"
                                    "a=1\r\n"
                                    "b=2\r\n"
                                    "c=3\r\n"
                                    "; about B\r\n"
                                    "\r\n"
                                    "[B]\r\n"
                                    "x=4\r\n"
                                    "w=7\r\n"
                                    "\r\n"
                                    "[C]\r\n"
                                    "; only a comment\r\n"
                                    "y=5\r\n"
                                    "\r\n"
                                    "[D]\r\n"
                                    "z=6\r\n"));
}

TEST(IniDocumentTest, RefusesTextGbkCannotHold) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("plan.ini");
    const QByteArray old("[A]\r\nk=old\r\n");
    WriteFile(path, old);

    for (const auto& [section, key, value] :
         {std::tuple{U("A"), U("k"), U("😀")}, std::tuple{U("A"), U("😀"), U("v")},
          std::tuple{U("😀"), U("k"), U("v")}, std::tuple{U("A"), U("k"), U("5€")}}) {
        IniDocument doc;
        ASSERT_TRUE(doc.Load(path));
        doc.SetValue(section, key, value);
        EXPECT_EQ(doc.Value(section, key), value);  // kept in memory, not mangled
        EXPECT_FALSE(doc.ToBytes());
        EXPECT_FALSE(doc.Save(path));
        EXPECT_EQ(ReadFileBytes(path), old);
    }

    IniDocument text;
    text.ParseText(U("[A]\r\n; 😀\r\n"));
    EXPECT_FALSE(text.ToBytes());
}

TEST(IniDocumentTest, RefusesToWriteWhereItMayNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    IniDocument doc;
    doc.SetValue("A", "k", "new");

    // No folder is created on the way.
    EXPECT_FALSE(doc.Save(dir.filePath("missing/plan.ini")));
    EXPECT_FALSE(QDir(dir.filePath("missing")).exists());

    const QByteArray old("[A]\r\nk=old\r\n");
    const QString file = dir.filePath("readonly.ini");
    WriteFile(file, old);
    {
        Unwritable guard(file);
        if (!guard.ok()) GTEST_SKIP() << "cannot make a file read-only here";
        EXPECT_FALSE(doc.Save(file));
        EXPECT_EQ(ReadFileBytes(file), old);
    }

    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    const QString inside = folder + "/plan.ini";
    WriteFile(inside, old);
    {
        Unwritable guard(folder);
        if (!guard.ok()) GTEST_SKIP() << "cannot make a folder read-only here";
        EXPECT_FALSE(doc.Save(inside));
        EXPECT_FALSE(doc.Save(folder + "/new.ini"));
        EXPECT_EQ(ReadFileBytes(inside), old);
        EXPECT_FALSE(QFile::exists(folder + "/new.ini"));
    }
    EXPECT_TRUE(doc.Save(inside));
    EXPECT_EQ(ReadFileBytes(inside), QByteArray("[A]\r\nk=new\r\n"));
}

// Texts that would break the layout if written raw: each reads back as it was
// set (line breaks as blanks), in memory and from the file, and nothing it
// holds turns into a section or key of its own.
TEST(IniDocumentTest, NastyValuesReadBackAsSet) {
    const QString values[] = {
        U("开放申购\r\n[第3行]\r\nNetValue=99.9999"),
        "a\rb",
        "a\nb",
        "\r\n",
        " lead",
        "trail\t",
        "\"q\"",
        "\"\"",
        "\"",
        " \"x\" ",
        "=x=",
        "[x]",
        "  ",
        "",
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("plan.ini");
    IniDocument doc;
    for (const QString& v : values) doc.SetValue("S", "K" + QString::number(&v - values), v);
    doc.SetValue("After", "NetValue", "1.0");
    ASSERT_TRUE(doc.Save(path));
    IniDocument back;
    ASSERT_TRUE(back.Load(path));
    for (const QString& v : values) {
        QString expected = v;
        expected.replace('\r', ' ').replace('\n', ' ');
        const QString key = "K" + QString::number(&v - values);
        EXPECT_EQ(doc.Value("S", key), expected) << key.toStdString();
        EXPECT_EQ(back.Value("S", key), expected) << key.toStdString();
        back.SetValue("S", key, v);  // the same texts again change nothing
    }
    EXPECT_FALSE(back.HasSection(U("第3行")));
    EXPECT_EQ(back.Find("S", "NetValue"), std::nullopt);
    EXPECT_EQ(back.Value("After", "NetValue"), QString("1.0"));
    EXPECT_EQ(back.ToBytes(), ReadFileBytes(path));
}

TEST(IniDocumentTest, RefusesNamesTheFileCannotHold) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("FundCode.ini");
    const QByteArray old("[A]\r\nk=old\r\n");
    WriteFile(path, old);
    for (const auto& [section, key] : {std::pair{"A\r\nB", "k"},
                                       {"A]", "k"},
                                       {" A", "k"},
                                       {"A\t", "k"},
                                       {"A", "k\nx"},
                                       {"A", "k=v"},
                                       {"A", "[k"},
                                       {"A", " k"},
                                       {"A", "k "}}) {
        IniDocument doc;
        ASSERT_TRUE(doc.Load(path));
        doc.SetValue(section, key, "v");
        EXPECT_FALSE(doc.ToBytes()) << section << "/" << key;
        EXPECT_FALSE(doc.Save(path));
        EXPECT_EQ(ReadFileBytes(path), old);
    }
    // Brackets elsewhere are harmless.
    IniDocument doc;
    doc.SetValue("a[b", "k]", "v");
    IniDocument back;
    back.Parse(*doc.ToBytes());
    EXPECT_EQ(back.Value("a[b", "k]"), QString("v"));
}

// Plan files have one section per ledger row (up to 32767) and the fund list
// has one key per fund: both go through the name indexes.
TEST(IniDocumentTest, HandlesManySectionsAndKeys) {
    IniDocument doc;
    for (int i = 1; i <= 32767; ++i) {
        doc.SetValue(U("第%1行").arg(i), "NetValue", QString::number(i));
    }
    for (int i = 0; i < 3000; ++i) doc.SetValue("Funds", QString("F%1").arg(i), QString::number(i));
    doc.SetValue("funds", "f17", "changed");
    const std::optional<QByteArray> bytes = doc.ToBytes();
    ASSERT_TRUE(bytes);

    IniDocument back;
    // A later duplicate of a key in a large section must not win.
    back.Parse(*bytes + "[Funds]\r\nF5=late section\r\n[x]\r\n");
    back.SetValue("FUNDS", "New", "n");
    EXPECT_EQ(back.Value(U("第1行"), "NetValue"), QString("1"));
    EXPECT_EQ(back.Value(U("第32767行"), "netvalue"), QString("32767"));
    EXPECT_FALSE(back.HasSection(U("第32768行")));
    EXPECT_EQ(back.Value("Funds", "F2999"), QString("2999"));
    EXPECT_EQ(back.Value("Funds", "f17"), QString("changed"));
    EXPECT_EQ(back.Value("Funds", "F5"), QString("5"));
    EXPECT_EQ(back.Value("Funds", "new"), QString("n"));
    EXPECT_TRUE(back.ToText().contains("F2999=2999\r\nNew=n\r\n[Funds]\r\n"));
}

}  // namespace
}  // namespace tovira

namespace tovira {

// Scan reads a large file in pieces: lines across the pieces' borders (a
// CR LF split between two pieces, a line longer than a piece, the last line
// without a line end) read as the whole document reads them.
TEST(IniDocumentTest, ScanReadsInPiecesWhatTheDocumentReads) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.ini"));
    QByteArray bytes =
        "\xEF\xBB\xBF"
        "before=none\r\n";
    for (int s = 0; s < 3000; ++s) {
        bytes += "[s" + QByteArray::number(s) + "]\r\n";
        bytes += " Key = \"v" + QByteArray::number(s) + "\" \r\n";
        bytes += "key=second\r\n; a comment\r\n";
        if (s == 1500) bytes += "long=" + QByteArray(300 * 1024, 'x') + "\r\n";
    }
    bytes += "[end]\r\nlast=line";
    WriteFile(path, bytes);

    IniDocument doc;
    ASSERT_TRUE(doc.Load(path));
    QByteArray section;
    QSet<QByteArray> seen;
    int lines = 0;
    int keys = 0;
    ASSERT_TRUE(IniDocument::Scan(path, [&](const IniDocument::Line& line, QByteArrayView text) {
        ++lines;
        EXPECT_FALSE(text.endsWith('\r'));
        if (line.kind == IniDocument::Line::Kind::Section) {
            section = line.name.toByteArray();
            return;
        }
        if (line.kind != IniDocument::Line::Kind::Key) return;
        ++keys;
        const QByteArray key = section + '/' + line.name.toByteArray().toLower();
        if (seen.contains(key)) return;  // the first of a name wins
        seen.insert(key);
        EXPECT_EQ(IniDocument::ValueText(line.value),
                  doc.Value(QString::fromLatin1(section), QString::fromLatin1(line.name)))
            << key.left(40).toStdString();
    }));
    EXPECT_EQ(lines, 1 + 3000 * 4 + 1 + 2);
    EXPECT_EQ(keys, 3000 * 2 + 1 + 1);
    EXPECT_EQ(doc.Value(QStringLiteral("s7"), QStringLiteral("KEY")), "v7");
    EXPECT_EQ(doc.Value(QStringLiteral("s1500"), QStringLiteral("long")).size(), 300 * 1024);
    EXPECT_EQ(doc.Value(QStringLiteral("end"), QStringLiteral("last")), "line");
    EXPECT_FALSE(IniDocument::Scan(dir.filePath(QStringLiteral("none.ini")),
                                   [](const IniDocument::Line&, QByteArrayView) {}));
}

// The look at the section headers alone sees the headers the whole scan
// sees, whatever the pieces: blanks, brackets in names and values, a ']'
// that is the second byte of a character, key lines that hold brackets.
TEST(IniDocumentTest, ScanningTheSectionsSeesTheSectionsTheScanSees) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sections.ini"));
    QByteArray bytes = "\xEF\xBB\xBF[first]\r\nk=[not]\r\n";
    for (int s = 0; s < 500; ++s) {
        bytes += "  [ s" + QByteArray::number(s) + " ] ; note\r\n";
        bytes += "key=[v]\r\nx[y]\r\n[open\r\n\t[a]]b\r\n";
        bytes += *EncodeGbk(U("[第") + QString::number(s) + U("行]\r\n")) + "\xB5]\r\n";
    }
    bytes += "[last]";
    WriteFile(path, bytes);
    const auto sections = [&](bool only, qsizetype piece) {
        QList<QByteArray> seen;
        const auto visit = [&](const IniDocument::Line& line, QByteArrayView text) {
            if (line.kind == IniDocument::Line::Kind::Section) {
                seen << line.name.toByteArray() + '|' + text.toByteArray();
            }
        };
        EXPECT_TRUE(only ? IniDocument::ScanSections(path, visit, piece)
                         : IniDocument::Scan(path, visit, piece));
        return seen;
    };
    const QList<QByteArray> all = sections(false, IniDocument::kScanPieceSize);
    ASSERT_EQ(all.size(), 2 + 500 * 3);
    EXPECT_EQ(all.front(), "first|[first]");
    EXPECT_EQ(all[1], "s0|  [ s0 ] ; note");
    EXPECT_EQ(all[2], "a]|\t[a]]b");
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(4096)}) {
        EXPECT_EQ(sections(true, piece), all) << piece;
    }
    EXPECT_FALSE(IniDocument::ScanSections(dir.filePath(QStringLiteral("none.ini")),
                                           [](const IniDocument::Line&, QByteArrayView) {}));
}

// A line far longer than a piece costs what its bytes cost: the same bytes in
// one line and in short lines scan in about the same time, read in small
// pieces so that the one line spans thousands of them. (Searching the bytes
// carried over again for every piece took 40 s for twice these bytes.)
TEST(IniDocumentTest, ScanTakesALongLineInTimeItsBytesTake) {
    QTemporaryDir dir;
    constexpr qsizetype kBytes = qsizetype(4) << 20;
    constexpr qsizetype kPiece = 1024;
    const QString oneLine = dir.filePath(QStringLiteral("one.ini"));
    const QString shortLines = dir.filePath(QStringLiteral("short.ini"));
    WriteFile(oneLine, "[s]\r\nk=" + QByteArray(kBytes, 'x') + "\r\nend=1");
    QByteArray lines = "[s]\r\n";
    while (lines.size() < kBytes) lines += "k=" + QByteArray(100, 'x') + "\r\n";
    WriteFile(shortLines, lines + "end=1");

    // The time of the faster of two scans; the longest line and the last
    // value seen.
    const auto scan = [&](const QString& path, qsizetype* longest, QByteArray* last) {
        qint64 best = -1;
        for (int run = 0; run < 2; ++run) {
            QElapsedTimer timer;
            timer.start();
            EXPECT_TRUE(IniDocument::Scan(
                path,
                [&](const IniDocument::Line& line, QByteArrayView text) {
                    *longest = std::max(*longest, text.size());
                    if (line.kind == IniDocument::Line::Kind::Key) *last = line.value.toByteArray();
                },
                kPiece));
            const qint64 took = timer.nsecsElapsed();
            if (best < 0 || took < best) best = took;
        }
        return best;
    };
    qsizetype longest = 0;
    QByteArray last;
    const qint64 shortTime = scan(shortLines, &longest, &last);
    EXPECT_EQ(last, "1");
    longest = 0;
    const qint64 longTime = scan(oneLine, &longest, &last);
    EXPECT_EQ(longest, kBytes + 2);
    EXPECT_EQ(last, "1");
    // Generous for loaded machines and the sanitizers: a tenth of a second
    // beyond four times the short lines' time.
    EXPECT_LT(longTime, 4 * shortTime + 100'000'000) << longTime << " ns against " << shortTime;

    // A piece size below one byte reads a byte at a time, never nothing.
    const QString small = dir.filePath(QStringLiteral("small.ini"));
    WriteFile(small, "[s]\r\nk=v\r\nend=1");
    QStringList seen;
    ASSERT_TRUE(IniDocument::Scan(
        small, [&](const IniDocument::Line&, QByteArrayView text) { seen << text.toByteArray(); },
        0));
    EXPECT_EQ(seen, QStringList({"[s]", "k=v", "end=1"}));
}

}  // namespace tovira
