// The four kinds of file an operator brings from another machine (cell, sample, PID table, step
// program): every encoding a Windows editor writes loads with the right values, and a file that is
// not of its kind is refused with a reason, naming the file.
#include "control/EPIDListError.h"
#include "control/TPIDList.h"
#include "control/TPIDListFile.h"
#include "experiment/CellDetailsFile.h"
#include "experiment/SampleDetailsFile.h"
#include "experiment/StepProgramFile.h"

#include "common/Locale.h"
#include "tests/support/QtPrint.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

using TEncoding = TPIDListFile::TEncoding;

// How an editor stores a text.
enum class TForm { Utf16LE, Utf16BE, Utf8Mark, Utf8, Cp1252 };

QByteArray Stored(QString text, TForm form, bool crlf) {
    if (crlf)
        text.replace(u'\n', QStringLiteral("\r\n"));
    switch (form) {
    case TForm::Utf16LE:
        return QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE).encode(text);
    case TForm::Utf16BE:
        return QByteArray("\xFE\xFF") + QStringEncoder(QStringEncoder::Utf16BE).encode(text);
    case TForm::Utf8Mark:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TForm::Utf8:
        return text.toUtf8();
    case TForm::Cp1252:
        return text.toLatin1(); // µ and º are the same bytes in cp1252
    }
    return {};
}

// One kind of file: a valid text of it, and how it is read.
struct TKind {
    const char* name;
    QString text;
    // Reads `path` (stored as `form`) and, when it loads, checks the values of `text`; the refusal,
    // or empty when it loaded.
    std::function<QString(const QString& path, TForm form)> read;
};

const QString kPIDRow = QStringLiteral("3         1         2         3         4         µA º");

QList<TKind> Kinds() {
    return {
        {"cell details",
         QStringLiteral("[ZEVO]\nSerial=Zµ-12 º\nAx=-0,0123\nBx=1.5E-7\n[RelativeChange]\n"
                        "Duration seconds=600\nThreshold percentage=0,025\n[Datapoint integration]\n"
                        "Duration seconds=2,5\n[FastMode]\nEnabled=1\nCount=7\n"),
         [](const QString& path, TForm) {
             QString refusal;
             const std::optional<TCellDetails> c = TCellDetailsFile::Read(path, refusal);
             if (!c)
                 return refusal.isEmpty() ? QStringLiteral("nothing read") : refusal;
             EXPECT_EQ(c->SensorID, QStringLiteral("Zµ-12 º"));
             EXPECT_DOUBLE_EQ(c->SensorAx, -0.0123);
             EXPECT_DOUBLE_EQ(c->SensorBx, 1.5e-7);
             EXPECT_DOUBLE_EQ(c->RCDuration, 600);
             EXPECT_DOUBLE_EQ(c->RCThreshold, 0.025);
             EXPECT_DOUBLE_EQ(c->DataPointLength, 2.5);
             EXPECT_TRUE(c->FastMode);
             EXPECT_EQ(c->FastModeCount, 7);
             EXPECT_DOUBLE_EQ(c->Vhpws, 0.012) << "a key the file lacks gives its reading default";
             return QString();
         }},
        {"sample details",
         QStringLiteral("[Sample]\nName____________=Run º5 µ\nm0__g___________=0,75\nd___g_per_cm3___=7.2\n"),
         [](const QString& path, TForm) {
             QString refusal;
             const std::optional<TSampleDetails> s = TSampleDetailsFile::Read(path, refusal);
             if (!s)
                 return refusal;
             EXPECT_EQ(s->Name, QStringLiteral("Run º5 µ"));
             EXPECT_DOUBLE_EQ(s->m0, 0.75);
             EXPECT_DOUBLE_EQ(s->d, 7.2);
             EXPECT_DOUBLE_EQ(s->M0, 0);
             return QString();
         }},
        {"PID table",
         QStringLiteral("Mine µ.txt\nElasticity 2,5\n") + TPIDList::Header() + u'\n' + kPIDRow + u'\n',
         [](const QString& path, TForm form) {
             TEncoding encoding = TEncoding::Utf32BE;
             QStringList lines;
             try {
                 lines = TPIDListFile::Read(path, encoding);
             } catch (const EPIDListError& e) {
                 EXPECT_EQ(encoding, TEncoding::Utf32BE) << "a refused file leaves the encoding";
                 return QString::fromStdString(e.what());
             }
             EXPECT_EQ(lines, QStringList({QStringLiteral("Mine µ.txt"), QStringLiteral("Elasticity 2,5"),
                                           TPIDList::Header(), kPIDRow}));
             const TEncoding expected[] = {TEncoding::Utf16LE, TEncoding::Utf16BE, TEncoding::Utf8,
                                           TEncoding::CodePage, TEncoding::CodePage};
             EXPECT_EQ(encoding, expected[int(form)]) << "the list is written back the way it came";
             EXPECT_DOUBLE_EQ(TPIDList::ParseElasticity(lines[1]), 2.5);
             return QString();
         }},
        {"step program",
         QStringLiteral("Ondrix step program\n0001   -4          45\n0002   -12.5       300\n"),
         [](const QString& path, TForm) {
             const QList<TStep> untouched{TStep::Make(7, -7, 7)};
             QList<TStep> steps = untouched;
             QString error;
             if (!TStepProgramFile::Read(path, steps, error)) {
                 EXPECT_EQ(steps, untouched);
                 return error.isEmpty() ? QStringLiteral("refused without a reason") : error;
             }
             EXPECT_EQ(StepProgram::Texts(steps), QStringList({QStringLiteral("0001   -4          45"),
                                                               QStringLiteral("0002   -12.5       300")}));
             return QString();
         }},
    };
}

class TextFiles : public ::testing::Test {
protected:
    void SetUp() override { SetRegionalLocale(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { SetRegionalLocale(QLocale::system()); }
    QString Put(const QByteArray& bytes) {
        const QString path = dir.filePath(QStringLiteral("file.txt"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(TextFiles, EveryEncodingAWindowsEditorWritesLoads) {
    const struct {
        const char* name;
        TForm form;
    } forms[] = {
        {"UTF-16 LE with its mark (Notepad's Unicode)", TForm::Utf16LE},
        {"UTF-16 BE with its mark", TForm::Utf16BE},
        {"UTF-8 with a mark", TForm::Utf8Mark},
        {"UTF-8 without a mark", TForm::Utf8},
        {"cp1252", TForm::Cp1252},
    };
    for (const TKind& kind : Kinds())
        for (const auto& f : forms)
            for (const bool crlf : {true, false}) {
                SCOPED_TRACE(std::string(kind.name) + ", " + f.name + (crlf ? ", CR LF" : ", LF"));
                const QString refusal = kind.read(Put(Stored(kind.text, f.form, crlf)), f.form);
                EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
            }
}

TEST_F(TextFiles, AFileOfAnotherKindIsRefusedWithItsReason) {
    std::mt19937 random(12345);
    QByteArray noise(4096, '\0');
    for (char& c : noise)
        c = char(random() & 0xFF);
    const QByteArray html =
        "<!DOCTYPE html>\r\n<html><head><title>404 Not Found</title></head>\r\n"
        "<body><h1>Not Found</h1><p>The requested URL was not found.</p></body></html>\r\n";
    const QByteArray otherIni = "[Monitor]\r\nEnabled=1\r\nPort=8080\r\n[Furnace]\r\nModel=HT 1600\r\n";
    const QByteArray sectionsWithoutKeys = "[ZEVO]\r\n[Cell]\r\n[RelativeChange]\r\n[Sample]\r\n";
    const struct {
        const char* name;
        QByteArray bytes;
    } junk[] = {
        {"random bytes", noise},
        {"an HTML page", html},
        {"an INI file of other sections", otherIni},
        {"the right sections without a key", sectionsWithoutKeys},
        {"an empty file", QByteArray()},
        {"blank lines only", "\r\n  \r\n"},
        {"UTF-16 that lost its mark",
         Stored(QStringLiteral("[Sample]\nName____________=x\n"), TForm::Utf16LE, true).mid(2)},
    };
    for (const TKind& kind : Kinds())
        for (const auto& j : junk) {
            SCOPED_TRACE(std::string(kind.name) + ": " + j.name);
            const QString path = Put(j.bytes);
            const QString refusal = kind.read(path, TForm::Utf8);
            EXPECT_FALSE(refusal.isEmpty()) << "loaded";
            if (QByteArrayView(kind.name) != "step program") // its caller names the file
                EXPECT_TRUE(refusal.contains(QDir::toNativeSeparators(path))) << refusal.toStdString();
        }

    // A folder or a device is refused without being read: reading one could block or never end.
    for (const TKind& kind : Kinds())
        for (const QString& path : {dir.path(), QStringLiteral("/dev/zero")}) {
            SCOPED_TRACE(std::string(kind.name) + ": " + path.toStdString());
            EXPECT_FALSE(kind.read(path, TForm::Utf8).isEmpty());
        }

    // The other details file is an INI file of other sections too.
    const QList<TKind> kinds = Kinds();
    const QString cellAsSample = Put(Stored(kinds[0].text, TForm::Utf8, true));
    EXPECT_TRUE(
        kinds[1].read(cellAsSample, TForm::Utf8).contains(QStringLiteral("is not a sample details file")));
    const QString sampleAsCell = Put(Stored(kinds[1].text, TForm::Utf8, true));
    EXPECT_TRUE(
        kinds[0].read(sampleAsCell, TForm::Utf8).contains(QStringLiteral("is not a cell details file")));
}

TEST_F(TextFiles, AMissingDetailsFileIsNoRefusal) {
    // A missing cell file is ignored and a missing sample file reads as empty: neither is junk.
    const QString missing = dir.filePath(QStringLiteral("none.ini"));
    QString refusal = QStringLiteral("x");
    EXPECT_FALSE(TCellDetailsFile::Read(missing, refusal));
    EXPECT_TRUE(refusal.isEmpty());
    refusal = QStringLiteral("x");
    const std::optional<TSampleDetails> s = TSampleDetailsFile::Read(missing, refusal);
    ASSERT_TRUE(s);
    EXPECT_TRUE(refusal.isEmpty());
    EXPECT_TRUE(s->Name.isEmpty());
}

} // namespace
