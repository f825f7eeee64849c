#pragma once
// PID files: the lines of a PID list as a text file, each line ended by CR LF (the last one too).
//
// Files come from the Windows lab PCs as often as from this program. A file that starts with a
// byte-order mark is read in the encoding the mark names (UTF-8, UTF-16 or UTF-32, either byte
// order; Notepad's "Unicode" is UTF-16 LE), and a list loaded from such a file is written back the
// same way, mark included. Without a mark a file is read as UTF-8 when it is valid UTF-8 and
// otherwise in the Windows 8-bit code page (cp1252: µ, º, é); line ends may be CR LF, LF or CR.
// Such lists are written in cp1252, the code page the lab PCs read; a list holding a character
// cp1252 lacks is written as UTF-8 with a mark instead, so nothing typed is ever lost. A file that
// is not a PID list at all (not text, or without the three leading lines) is refused.
#include <QByteArray>
#include <QString>
#include <QStringList>

class TPIDListFile {
public:
    enum class TEncoding {
        CodePage, // no byte-order mark: cp1252 when written
        Utf8,
        Utf16LE,
        Utf16BE,
        Utf32LE,
        Utf32BE,
    };

    // Files larger than this are refused unread: no PID list comes near it.
    static constexpr qint64 MaxBytes = 1 << 20;

    // The lines of the file at `path` and the encoding it was written in. Blank lines at the end
    // of the file are dropped. Throws EPIDListError, naming the file and what is wrong, when the
    // file cannot be read or is not a PID list (not text, or without its title, elasticity and
    // header lines); `encoding` is then unchanged.
    static QStringList Read(const QString& path, TEncoding& encoding);
    // Writes the lines completely or not at all (a failed save keeps the previous file). Updates
    // `encoding` when the list needed UTF-8 instead of the code page. Throws EPIDListError when the
    // file cannot be written.
    static void Write(const QString& path, const QStringList& lines, TEncoding& encoding);

    static QStringList Decode(const QByteArray& bytes, TEncoding& encoding);
    static QByteArray Encode(const QStringList& lines, TEncoding& encoding);
};
