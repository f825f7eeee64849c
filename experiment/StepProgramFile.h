#pragma once
// Step-program files: a step list kept on disk, so a program typed once can be run again.
//
//   Ondrix step program
//   0001   -4          45
//   0002   -5          115
//
// The title line, then one step per line exactly as the list shows it; every line ends in CR LF.
// Files are read in the encoding their byte-order mark names (UTF-8, or UTF-16 as Notepad's
// "Unicode" writes it) or, without one, as UTF-8 or, failing that, in the Windows 8-bit code page,
// with CR LF or LF line ends and blank lines at the end ignored. A file is taken whole or not at
// all: the first line that is not a valid step refuses it, naming the line.
#include "experiment/StepProgram.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TStepProgramFile {
public:
    static QString Title() { return QStringLiteral("Ondrix step program"); }
    // The file name ending of step programs, and the filter of the file dialogs.
    static QString Suffix() { return QStringLiteral("program"); }
    static QString Filter() { return QStringLiteral("Step program (*.program)"); }
    // Files larger than this are refused unread: no list of steps comes near it.
    static constexpr qint64 MaxBytes = 1 << 20;

    // The steps of the file at `path`, their rows in this process's number format; false with the
    // reason in `error` when the file cannot be read or is not a step program.
    static bool Read(const QString& path, QList<TStep>& steps, QString& error);
    static bool Decode(const QByteArray& bytes, QList<TStep>& steps, QString& error);
    // Writes the steps' rows completely or not at all (a failed save keeps the previous file);
    // false with the reason in `error`.
    static bool Write(const QString& path, const QList<TStep>& steps, QString& error);
    static QByteArray Encode(const QList<TStep>& steps);
};
