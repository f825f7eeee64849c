#include "experiment/StepProgramFile.h"

#include "common/AtomicFile.h"
#include "common/TextFileDecoding.h"
#include "experiment/DetailsIni.h"
#include "experiment/StepProgram.h"

#include <QFile>
#include <QFileInfo>

namespace {
// A line quoted in a message: long garbage is cut so the message stays readable.
QString Quoted(const QString& line) {
    constexpr int kShown = 40;
    return u'"' + (line.size() > kShown ? line.left(kShown) + u'…' : line) + u'"';
}
} // namespace

bool TStepProgramFile::Read(const QString& path, QList<TStep>& steps, QString& error) {
    QFile f(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("The file does not exist.");
        return false;
    }
    // A directory, a pipe or a device is refused before it is opened: reading one could block or
    // never end.
    if (!info.isFile()) {
        error = QStringLiteral("It is not a file.");
        return false;
    }
    if (f.size() > MaxBytes) {
        error = QStringLiteral("The file is too large to be a step program.");
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("The file could not be read: %1.").arg(f.errorString());
        return false;
    }
    return Decode(f.readAll(), steps, error);
}

bool TStepProgramFile::Decode(const QByteArray& bytes, QList<TStep>& steps, QString& error) {
    QStringList lines = DecodeTextFile(bytes).Text.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        // Blanks an editor left at the end of a line are not part of the row.
        while (!line.isEmpty() && (line.back() == u' ' || line.back() == u'\t'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines.front().trimmed() != Title()) {
        error = QStringLiteral("Line 1 is not the title \"%1\": this is not a step program.").arg(Title());
        return false;
    }
    if (lines.size() == 1) {
        error = QStringLiteral("The file holds no steps.");
        return false;
    }
    QList<TStep> read;
    for (int i = 1; i < lines.size(); ++i) {
        QString problem;
        const std::optional<TStep> step = StepProgram::ReadRow(lines[i], problem);
        if (!step) {
            error = QStringLiteral("Line %1 is not a step-program row: %2 (%3).")
                        .arg(i + 1)
                        .arg(Quoted(lines[i]), problem);
            return false;
        }
        read << *step;
    }
    steps = read;
    return true;
}

QByteArray TStepProgramFile::Encode(const QList<TStep>& steps) {
    QByteArray out = Title().toUtf8() + "\r\n";
    for (const TStep& step : steps)
        out += step.Text().toUtf8() + "\r\n";
    return out;
}

bool TStepProgramFile::Write(const QString& path, const QList<TStep>& steps, QString& error) {
    const QByteArray bytes = Encode(steps);
    const TWriteResult written = TAtomicFile::WriteWhole(path, bytes);
    if (written.Ok)
        return true;
    error = written.Reason;
    return false;
}
