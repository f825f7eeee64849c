#include "recording/ExperimentFile.h"

#include "common/AtomicFile.h"
#include "common/NumberFormat.h"
#include "recording/TDataGrid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// cp1252 puts these characters at 0x80..0x9F; 0 marks the five unassigned bytes.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Text in the Windows code page; a character it lacks becomes '?'.
void AppendAnsi(QByteArray& out, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += char(c);
            continue;
        }
        char byte = '?';
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == c) {
                byte = char(0x80 + k);
                break;
            }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i; // one character, one '?'
        out += byte;
    }
}

void AppendLine(QByteArray& out, const QString& text) {
    AppendAnsi(out, text);
    out += "\r\n";
}

QString Stars(const char* head, int width) {
    const QString h = QString::fromLatin1(head);
    return h + QString(width - h.size(), u'*');
}

void AppendVariable(QByteArray& out, const QString& value, const char* suffix) {
    AppendLine(out, value + QString::fromUtf8(suffix));
}

void AppendVariable(QByteArray& out, double value, const char* suffix) {
    AppendVariable(out, FormatGeneral(value), suffix);
}

// Everything before the rows of the DATA section.
QByteArray HeadOf(const TExperimentFileRecord& r, TDateTime t0) {
    QByteArray out;
    AppendLine(out, Stars("** HEADER  ", 57));
    AppendLine(out, QString());
    AppendLine(out, r.Sample.Name);
    AppendLine(out, r.Sample.Formula);
    AppendLine(out, QStringLiteral("Saved ") + FormatDateTime(QStringLiteral("yyyy-mm-dd hh:mm"), t0));
    AppendLine(out, QString());
    AppendLine(out, Stars("** VARIABLES ", 57));
    AppendLine(out, QString());
    AppendLine(out, QStringLiteral("Value    ;Unit   ;Abbreviation   ;Field name"));
    AppendVariable(out, r.Sample.bs, ";g/mol      ;bs     ;Nominal stoichiometric molar content of oxygen");
    AppendVariable(out, r.Sample.M, ";g/mol      ;M      ;Nominal molar mass");
    AppendVariable(out, r.Sample.b0, ";mol/mol    ;b0     ;Initial molar content of oxygen");
    AppendVariable(out, r.Sample.M0, ";g/mol      ;M0     ;Initial molar mass");
    AppendVariable(out, r.Sample.d, ";g/cm^3     ;d      ;Initial density");
    AppendVariable(out, r.Sample.m0, ";g          ;m0     ;Initial mass");
    AppendVariable(out, r.Values.Vs, ";L          ;Vs     ;Volume");
    AppendVariable(out, r.Values.n0, ";mol        ;n0     ;Moles of compound");
    AppendVariable(out, r.Values.nO0, ";mol        ;nO0    ;Moles of oxygen");
    AppendVariable(out, r.Values.mO0, ";g          ;mO0    ;Mass of oxygen");
    AppendVariable(out, r.Values.mM, ";g          ;mM     ;Mass of non-oxygen");
    AppendVariable(out, r.Cell.SensorID, ";         ;SID    ;Sensor ID");
    AppendVariable(out, r.Cell.SensorAx, ";         ;SAx    ;Sensor Ax");
    AppendVariable(out, r.Cell.SensorBx, ";         ;SBx    ;Senosr Bx");
    AppendVariable(out, r.Cell.Vhpws, ";L        ;Vhpws  ;Gas volume of hot part without sample");
    AppendVariable(out, r.Cell.Vhp, ";L        ;Vhp    ;Gas volume of hot part");
    AppendVariable(out, r.Cell.Vgp, ";L        ;Vgp    ;Gas volume of gradient part");
    AppendVariable(out, r.Cell.Tl, ";ºC       ;Tl     ;Cold end temperature");
    AppendVariable(out, r.Cell.PsO2, ";Bar      ;PsO2   ;Initial partial pressure of oxygen");
    AppendVariable(out, r.Cell.FGpO2, ";         ;FGpO2  ;Flush gas partial pressure of oxygen");
    AppendVariable(out, r.Cell.RCDuration, ";s        ;RCd    ;Duration of relative change calculation");
    AppendVariable(out, r.Cell.RCThreshold, ";%        ;RCtr   ;Threshold of relative change");
    AppendVariable(out, r.Cell.DataPointLength, ";s        ;       ;Minimum length for data point");
    AppendVariable(out, r.Cell.FGpO2, ";atm       ;FGpO2  ;Flush gas oxygen partial pressure");
    // The window has no leakage constant of its own; this line has always carried the data-point
    // integration time, and files already written rely on it.
    AppendVariable(out, r.Cell.DataPointLength, ";Alpha     ;       ;^0.25 leakage constant");
    AppendVariable(out, r.Cell.CTO, ";ºC        ;CTO    ;Cell temperature override");
    AppendVariable(out, r.Cell.FGfl, ";mln/min   ;FGfl   ;Flush gas flow");
    AppendLine(out, QString());
    AppendLine(out, Stars("** NOTES ", 53));
    AppendLine(out, QString());
    // The notes as they stand: one file line per line of text, so a final line break gives one
    // more (empty) line.
    QString notes = r.Notes;
    notes.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    notes.replace(u'\r', u'\n');
    notes.replace(QChar(QChar::LineSeparator), u'\n');
    notes.replace(QChar(QChar::ParagraphSeparator), u'\n');
    for (const QString& line : notes.split(u'\n'))
        AppendLine(out, line);
    AppendLine(out, QString());
    AppendLine(out, Stars("** DATA ", 57));
    AppendLine(out, QString());
    return out;
}

constexpr qsizetype kChunk = 1 << 20;

// Whether `range` can stand for rows 1 to the last of the grid: the file holds the whole range
// and the range ends with the last row's line as the grid formats it now.
bool RangeHoldsTheRows(const TFileRange& range, const TDataGrid& grid) {
    if (range.IsEmpty() || range.Offset < 0 || range.Length <= 0)
        return false;
    QFile in(range.Path);
    if (!in.open(QIODevice::ReadOnly) || in.size() < range.Offset + range.Length)
        return false;
    QByteArray last;
    grid.AppendFileLine(last, grid.RowCount() - 1);
    if (last.size() > range.Length || !in.seek(range.Offset + range.Length - last.size()))
        return false;
    return in.read(last.size()) == last;
}

enum class TCopy { Copied, ReadFailed, WriteFailed };

// Copies `range` into `out` in large pieces, with `buffer` as the piece.
TCopy CopyRange(const TFileRange& range, TAtomicFile& out, QByteArray& buffer) {
    QFile in(range.Path);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(range.Offset))
        return TCopy::ReadFailed;
    qint64 left = range.Length;
    while (left > 0) {
        buffer.resize(qsizetype(std::min<qint64>(left, kChunk)));
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got != buffer.size())
            return TCopy::ReadFailed;
        if (!out.Write(buffer))
            return TCopy::WriteFailed;
        left -= got;
    }
    return TCopy::Copied;
}

TSaveResult Failed(TSaveStatus status, const QString& path, const QString& message) {
    TSaveResult r;
    r.Status = status;
    r.FilePath = path;
    r.Message = message;
    return r;
}

} // namespace

QByteArray TExperimentFile::Head(const TExperimentFileRecord& record, TDateTime t0) {
    return HeadOf(record, t0);
}

int TExperimentFile::FirstFreeNumber(const QString& userdataFolder, TDateTime t0,
                                     const QString& experimentName, int number) {
    const QDir day(QDir(userdataFolder).filePath(DayFolderName(t0)));
    while (QFileInfo(day.filePath(FileName(experimentName, number))).isFile())
        ++number;
    return number;
}

QString TExperimentFile::FailureCaption() {
    return QStringLiteral(
        "Autosave has failed, Check available space etc. and save data manually before closing the program");
}

QString TExperimentFile::DayFolderName(TDateTime t0) {
    return FormatDateTime(QStringLiteral("yyyy-mm-dd"), t0);
}

QString TExperimentFile::FileName(const QString& experimentName, int number) {
    return experimentName + u'_' + FormatFloat(QStringLiteral("0000"), number) + QStringLiteral(".csv");
}

bool TExperimentFile::NameAllowed(const QString& experimentName) {
    // Windows also reads ':' as a drive ("C:x" is a file in drive C's current folder).
    static const QString kForbidden = QStringLiteral("/\\:");
    for (QChar c : experimentName)
        if (kForbidden.contains(c) || c.isNull())
            return false;
    return true;
}

TSaveResult TExperimentFile::Save(const TExperimentFileRecord& record, const QString& userdataFolder,
                                  TDateTime t0, int number) {
    const QString day = DayFolderName(t0);
    const QString fileName = FileName(record.Sample.Name, number);
    const QDir userdata(userdataFolder);
    const QString dayPath = userdata.filePath(day);
    const QString path = QDir(dayPath).filePath(fileName);

    // Refused before anything is touched: such a name would write elsewhere than the day folder.
    if (!NameAllowed(record.Sample.Name) ||
        QFileInfo(path).absolutePath() != QFileInfo(dayPath).absoluteFilePath())
        return Failed(TSaveStatus::NameRefused, path,
                      QStringLiteral("The experiment name \"%1\" can't be used in a file name: it must not "
                                     "contain /, \\ or :. The data were not saved.")
                          .arg(record.Sample.Name));

    const QFileInfo userdataInfo(userdataFolder);
    const int error = !userdataInfo.exists()                                       ? ENOENT
                      : !userdataInfo.isDir()                                      ? ENOTDIR
                      : !userdataInfo.isReadable() || !userdataInfo.isExecutable() ? EACCES
                                                                                   : 0;
    if (error != 0) {
        return Failed(TSaveStatus::UserdataUnavailable, path,
                      QStringLiteral("The folder %1 can't be opened: %2. The data were not saved.")
                          .arg(QDir::toNativeSeparators(userdataFolder), SystemReason(error)));
    }

    errno = 0;
    if (!QFileInfo(dayPath).isDir() && !userdata.mkdir(day)) {
        const int made = errno ? errno : QFileInfo::exists(dayPath) ? EEXIST : EACCES;
        TSaveResult r = Failed(TSaveStatus::DayFolderFailed, path, FailureCaption());
        r.Reason = SystemReason(made);
        return r;
    }

    TAtomicFile out(path);
    const auto writeFailed = [&] {
        const TWriteResult failure = out.Result();
        out.Discard();
        TSaveResult r = Failed(TSaveStatus::WriteFailed, path,
                               QStringLiteral("The data file %1 could not be written: %2")
                                   .arg(QDir::toNativeSeparators(path), failure.Reason));
        r.Reason = failure.Reason;
        return r;
    };
    if (!out.Open())
        return writeFailed();

    QByteArray buffer = HeadOf(record, t0);
    buffer.reserve(kChunk + 4096);
    if (record.Grid) {
        const int rows = record.Grid->RowCount();
        record.Grid->AppendFileLine(buffer, 0);
        if (rows > 1 && RangeHoldsTheRows(record.RowLines, *record.Grid)) {
            if (!out.Write(buffer))
                return writeFailed();
            switch (CopyRange(record.RowLines, out, buffer)) {
            case TCopy::Copied:
                break;
            case TCopy::WriteFailed:
                return writeFailed();
            case TCopy::ReadFailed: {
                // The lines could not be read back after all: format the rows instead.
                out.Discard();
                TExperimentFileRecord formatted = record;
                formatted.RowLines = TFileRange();
                return Save(formatted, userdataFolder, t0, number);
            }
            }
            buffer.resize(0);
        } else {
            for (int r = 1; r < rows; ++r) {
                record.Grid->AppendFileLine(buffer, r);
                if (buffer.size() >= kChunk) {
                    if (!out.Write(buffer))
                        return writeFailed();
                    buffer.resize(0); // keeps the allocation for the next chunk
                }
            }
        }
    }
    // Every write, the sync and the rename are checked: a file the disk did not take whole is
    // never reported as saved.
    if (!out.Write(buffer) || !out.Commit().Ok)
        return writeFailed();
    TSaveResult done;
    done.FilePath = path;
    return done;
}
