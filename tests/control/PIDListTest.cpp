// The operator's PID list: its fixed columns, the starting list, "Apply or Add" with its bounds,
// "Delete last", and the PID files with their encodings.
#include "control/EPIDListError.h"
#include "control/TPIDList.h"
#include "control/TPIDListContent.h"
#include "control/TPIDListFile.h"

#include "common/Locale.h"
#include "tests/support/QtPrint.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace {

class PIDListTest : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalLocale(QLocale::c()); }
    void TearDown() override { SetRegionalLocale(QLocale::system()); }
};

// The message an EPIDListError carries, or "" when fn throws nothing.
template <class Fn> QString ErrorOf(Fn fn) {
    try {
        fn();
    } catch (const EPIDListError& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

TEST_F(PIDListTest, StartingListHasItsThreeLeadingLinesAndFourteenRows) {
    const QStringList lines = TPIDList::StartingList();
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[0], "Example - not applied until modified");
    EXPECT_EQ(lines[1], "Elasticity 100.0");
    EXPECT_EQ(lines[2], "-log(pO2) Proportio Integral  Derivate  Current   Notes");
    EXPECT_EQ(lines[7], "4         1000      1000      1000      1100      Fast");
    EXPECT_EQ(lines[16], "25        1000      1000      1000      5300      Extremely slow");
    const int expectedA[] = {5000, 5000, 3000, 1500, 1100, 1000, 1100,
                             1600, 3000, 4500, 5000, 5050, 5200, 5300};
    for (int i = 0; i < 14; ++i) {
        const TPIDRow row = TPIDList::ParseRow(lines[3 + i]);
        EXPECT_EQ(row.A, expectedA[i]) << i;
        EXPECT_EQ(row.P, 1000);
        EXPECT_EQ(row.I, 1000);
        EXPECT_EQ(row.D, 1000);
    }
}

TEST_F(PIDListTest, RowsReadBackAsWritten) {
    struct TCase {
        TPIDRow row;
        const char* line;
        const char* notesReadBack;
    };
    const TCase cases[] = {
        {{4, 1000, 1000, 1000, 1100, "Fast"},
         "4         1000      1000      1000      1100      Fast",
         "Fast"},
        {{0, -5, 0, 7, 1, ""}, "0         -5        0         7         1         ", ""},
        // Nine characters still leave a blank before the next column.
        {{25, 999999999, -99999999, 12, 5000, "x"},
         "25        999999999 -99999999 12        5000      x",
         "x"},
        {{3, 1, 2, 3, 4, "  padded  "}, "3         1         2         3         4         padded", "padded"},
        {{3, 1, 2, 3, 4, "exactly twenty chars"},
         "3         1         2         3         4         exactly twenty chars",
         "exactly twenty chars"},
        {{3, 1, 2, 3, 4, "a note that is longer than twenty"},
         "3         1         2         3         4         a note that is longe",
         "a note that is longe"},
        {{3, 1, 2, 3, 4, "µ-limit at 5 ºC"},
         "3         1         2         3         4         µ-limit at 5 ºC",
         "µ-limit at 5 ºC"},
    };
    for (const TCase& c : cases) {
        const QString line = TPIDList::FormatRow(c.row);
        EXPECT_EQ(line, QString::fromUtf8(c.line));
        const TPIDRow back = TPIDList::ParseRow(line);
        EXPECT_EQ(back.LogPO2, c.row.LogPO2);
        EXPECT_EQ(back.P, c.row.P);
        EXPECT_EQ(back.I, c.row.I);
        EXPECT_EQ(back.D, c.row.D);
        EXPECT_EQ(back.A, c.row.A);
        EXPECT_EQ(back.Notes, QString::fromUtf8(c.notesReadBack));
    }
}

TEST_F(PIDListTest, EachFieldIsReadFromItsOwnColumn) {
    // Hand-edited rows: blanks anywhere inside a column, a longer note cut at character 70.
    const TPIDRow row = TPIDList::ParseRow(QStringLiteral("   7      "
                                                          "+20       "
                                                          "      30  "
                                                          "40        "
                                                          "        50"
                                                          "note that runs on past 70 chars"));
    EXPECT_EQ(row.LogPO2, 7);
    EXPECT_EQ(row.P, 20);
    EXPECT_EQ(row.I, 30);
    EXPECT_EQ(row.D, 40);
    EXPECT_EQ(row.A, 50);
    EXPECT_EQ(row.Notes, "note that runs on pa");

    struct TBad {
        const char* line;
        const char* message;
    };
    const TBad bad[] = {
        {"7         20        3.5       40        50", "'3.5' is not a valid integer value"},
        {"7         20        30        40", "'' is not a valid integer value"},
        {"-log(pO2) Proportio Integral  Derivate  Current   Notes",
         "'-log(pO2)' is not a valid integer value"},
        {"7 20 30 40 50", "'7 20 30 40' is not a valid integer value"},
    };
    for (const TBad& b : bad)
        EXPECT_EQ(ErrorOf([&] { TPIDList::ParseRow(QString::fromLatin1(b.line)); }),
                  QString::fromLatin1(b.message))
            << b.line;
}

TEST_F(PIDListTest, ElasticityTakesEitherDecimalSeparator) {
    for (const QLocale& regional : {QLocale::c(), QLocale(QStringLiteral("de_DE"))}) {
        SetRegionalLocale(regional);
        EXPECT_DOUBLE_EQ(TPIDList::ParseElasticity(QStringLiteral("Elasticity 100.0")), 100.0);
        EXPECT_DOUBLE_EQ(TPIDList::ParseElasticity(QStringLiteral("Elasticity 2,5")), 2.5);
        EXPECT_DOUBLE_EQ(TPIDList::ParseElasticity(TPIDList::FormatElasticity(12.25)), 12.3);
    }
    EXPECT_EQ(TPIDList::FormatElasticity(1.0), "Elasticity 1,0"); // still German
    EXPECT_EQ(ErrorOf([] { TPIDList::ParseElasticity(QStringLiteral("Elasticity high")); }),
              "'high' is not a valid floating point value");
}

TEST_F(PIDListTest, ApplyOrAddKeepsRowsInOrder) {
    struct TCase {
        const char* name;
        int selected; // list index, -1 for none
        int logPO2;
        const char* message; // "" when accepted
    };
    // Starting list: data rows at list indices 3 (0) ... 16 (25); index 4 holds 1, index 15 holds 20.
    const TCase cases[] = {
        {"append 25 after 25", -1, 25, ""},
        {"append above 25", -1, 26, "Cannot add. -Log(pO2) value must fit between 25 and 25"},
        {"append below the last row", -1, 24, "Cannot add. -Log(pO2) value must fit between 25 and 25"},
        {"title line selected appends", 0, 24, "Cannot add. -Log(pO2) value must fit between 25 and 25"},
        {"header line selected appends", 2, 25, ""},
        {"first row: bounds 0 and the row below", 3, 3,
         "Cannot apply. -Log(pO2) value must fit between 0 and 1"},
        {"first row: equal to the row below", 3, 1, ""},
        {"last row: bounds the row above and 25", 16, 19,
         "Cannot apply. -Log(pO2) value must fit between 20 and 25"},
        {"last row: equal to the row above", 16, 20, ""},
        {"middle row between its neighbours", 8, 5, ""},
        {"middle row below its neighbour", 8, 2, "Cannot apply. -Log(pO2) value must fit between 4 and 10"},
        {"negative value", 3, -1, "Cannot apply. -Log(pO2) value must fit between 0 and 1"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList start = TPIDList::StartingList();
        TPIDListContent list = TPIDListContent::FromLines(start);
        const TPIDRow row{c.logPO2, 1, 2, 3, 4, QStringLiteral("new")};
        const TPIDList::TApplyResult r = TPIDList::ApplyOrAdd(list, c.selected, 7.5, row);
        const QStringList lines = list.Lines();
        EXPECT_EQ(r.Message, QString::fromLatin1(c.message));
        EXPECT_EQ(r.Changed, r.Message.isEmpty());
        // Line 2 takes the elasticity box whatever happens to the row.
        EXPECT_EQ(lines[1], "Elasticity 7.5");
        QStringList expected = start;
        expected[1] = QStringLiteral("Elasticity 7.5");
        if (r.Changed) {
            if (c.selected >= 3)
                expected[c.selected] = TPIDList::FormatRow(row);
            else
                expected << TPIDList::FormatRow(row);
        }
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(PIDListTest, ApplyOrAddOnAListWithoutRowsFailsWithoutHarm) {
    // Appending reads the last row's -log10(pO2); without data rows that is the header.
    TPIDListContent list = TPIDListContent::FromLines(TPIDList::StartingList().mid(0, 3));
    EXPECT_EQ(ErrorOf([&] { TPIDList::ApplyOrAdd(list, -1, 1.0, {}); }),
              "'-log(pO2)' is not a valid integer value");
    EXPECT_EQ(list.Lines().size(), 3);
    // Lines without the header are no list at all: there is nothing to add a row to.
    const QStringList two{QStringLiteral("t"), QStringLiteral("Elasticity 1.0")};
    EXPECT_FALSE(ErrorOf([&] { TPIDListContent::FromLines(two); }).isEmpty());
}

TEST_F(PIDListTest, DeleteLastKeepsSixDataRows) {
    TPIDListContent list = TPIDListContent::FromLines(TPIDList::StartingList().mid(0, 10));
    EXPECT_TRUE(TPIDList::DeleteLast(list));
    EXPECT_EQ(list.LineCount(), 9);
    EXPECT_FALSE(TPIDList::DeleteLast(list));
    EXPECT_EQ(list.Lines(), TPIDList::StartingList().mid(0, 9));
}

// ---- PID files ----

struct TFileCase {
    const char* name;
    QByteArray bytes;
    TPIDListFile::TEncoding encoding;
    bool canonical; // written back byte for byte (CR LF line ends, nothing trailing)
};

QByteArray Utf16(const QString& text, bool littleEndian) {
    QByteArray out;
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        out.append(littleEndian ? lo : hi);
        out.append(littleEndian ? hi : lo);
    }
    return out;
}

TEST_F(PIDListTest, FilesAreReadInTheirEncodingAndWrittenBackTheSameWay) {
    const QString text = QStringLiteral(
        "Mine.txt\r\nElasticity 2,5\r\n3         1         2         3         4         µ º é\r\n");
    const QStringList expected{QStringLiteral("Mine.txt"), QStringLiteral("Elasticity 2,5"),
                               QStringLiteral("3         1         2         3         4         µ º é")};
    using E = TPIDListFile::TEncoding;
    const TFileCase cases[] = {
        {"cp1252 from a lab PC", text.toLatin1(), E::CodePage, true},
        {"UTF-8 with a mark", QByteArray("\xEF\xBB\xBF") + text.toUtf8(), E::Utf8, true},
        {"UTF-16 LE with a mark", QByteArray("\xFF\xFE") + Utf16(text, true), E::Utf16LE, true},
        {"UTF-16 BE with a mark", QByteArray("\xFE\xFF") + Utf16(text, false), E::Utf16BE, true},
        {"UTF-8 without a mark", text.toUtf8(), E::CodePage, false},
        {"LF line ends", QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toLatin1(),
         E::CodePage, false},
        {"CR line ends", QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\r")).toLatin1(),
         E::CodePage, false},
        {"no end after the last line", text.chopped(2).toLatin1(), E::CodePage, false},
        {"blank lines at the end", (text + QStringLiteral("\r\n  \r\n")).toLatin1(), E::CodePage, false},
    };
    QTemporaryDir dir;
    for (const TFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        TPIDListFile::TEncoding encoding = E::Utf32BE;
        EXPECT_EQ(TPIDListFile::Read(path, encoding), expected);
        EXPECT_EQ(encoding, c.encoding);

        const QString out = dir.filePath(QStringLiteral("out.txt"));
        TPIDListFile::Write(out, expected, encoding);
        QFile written(out);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        if (c.canonical)
            EXPECT_EQ(bytes, c.bytes);
        else
            EXPECT_EQ(bytes, text.toLatin1()); // cp1252, CR LF after every line
    }
}

TEST_F(PIDListTest, AListTheCodePageCannotHoldIsWrittenAsUtf8WithAMark) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("greek.txt"));
    const QStringList lines{QStringLiteral("greek.txt"), QStringLiteral("Elasticity 1.0"), TPIDList::Header(),
                            QStringLiteral("3         1         2         3         4         Δp ≈ 0")};
    TPIDListFile::TEncoding encoding = TPIDListFile::TEncoding::CodePage;
    TPIDListFile::Write(path, lines, encoding);
    EXPECT_EQ(encoding, TPIDListFile::TEncoding::Utf8);
    TPIDListFile::TEncoding read = TPIDListFile::TEncoding::CodePage;
    EXPECT_EQ(TPIDListFile::Read(path, read), lines);
    EXPECT_EQ(read, TPIDListFile::TEncoding::Utf8);
}

TEST_F(PIDListTest, FileErrorsAreReportedAndKeepTheFileThere) {
    QTemporaryDir dir;
    TPIDListFile::TEncoding encoding = TPIDListFile::TEncoding::CodePage;
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    EXPECT_TRUE(
        ErrorOf([&] {
            TPIDListFile::Read(missing, encoding);
        }).startsWith(QStringLiteral("Cannot open file \"%1\"").arg(QDir::toNativeSeparators(missing))));
    const QString nowhere = dir.filePath(QStringLiteral("no folder/x.txt"));
    EXPECT_TRUE(ErrorOf([&] {
                    TPIDListFile::Write(nowhere, {QStringLiteral("x")}, encoding);
                }).startsWith(QStringLiteral("Cannot create file")));
}

} // namespace
