#include "control/TPIDListFile.h"

#include "common/TextFileDecoding.h"
#include "common/AtomicFile.h"
#include "control/EPIDListError.h"
#include "control/TPIDList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>
#include <utility>

namespace {

using TEncoding = TPIDListFile::TEncoding;

std::optional<QByteArray> EncodeCp1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += char(u);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32 && found < 0; ++i)
            if (Cp1252Char(static_cast<unsigned char>(0x80 + i)) == u)
                found = i;
        if (found < 0)
            return std::nullopt;
        out += char(0x80 + found);
    }
    return out;
}

// The encodings a list is read in and written back in, by the mark that names them.
const std::pair<TEncoding, TTextMark> kMarks[] = {
    {TEncoding::CodePage, TTextMark::None},   {TEncoding::Utf8, TTextMark::Utf8},
    {TEncoding::Utf16LE, TTextMark::Utf16LE}, {TEncoding::Utf16BE, TTextMark::Utf16BE},
    {TEncoding::Utf32LE, TTextMark::Utf32LE}, {TEncoding::Utf32BE, TTextMark::Utf32BE},
};

TTextMark MarkOf(TEncoding encoding) {
    for (const auto& [e, mark] : kMarks)
        if (e == encoding)
            return mark;
    return TTextMark::Utf8;
}

TEncoding EncodingOf(TTextMark mark) {
    for (const auto& [encoding, m] : kMarks)
        if (m == mark)
            return encoding;
    return TEncoding::CodePage;
}

QString Describe(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Why `lines` are not a PID list, or nothing when they are one: a list has its title, the
// elasticity line and the column header. Data rows are not judged here: a row that cannot be read
// is reported by the table build, with the text that is wrong, like a row typed into the list.
QString NotAPIDList(const QStringList& lines) {
    if (lines.isEmpty())
        return QStringLiteral("it is empty");
    for (const QString& line : lines)
        if (LooksBinary(line))
            return QStringLiteral("it is not a text file");
    if (lines.size() < TPIDList::FirstDataLine)
        return QStringLiteral(
            "it lacks the title, elasticity and column header lines a PID table starts with");
    const QString& elasticity = lines[TPIDList::ElasticityLine];
    if (!elasticity.startsWith(QStringLiteral("Elasticity")))
        return QStringLiteral("line 2 is not the elasticity line (\"Elasticity 100.0\")");
    try {
        TPIDList::ParseElasticity(elasticity);
    } catch (const EPIDListError& e) {
        return QStringLiteral("line 2, the elasticity: ") + QString::fromStdString(e.what());
    }
    return QString();
}

} // namespace

QStringList TPIDListFile::Decode(const QByteArray& bytes, TEncoding& encoding) {
    TDecodedText decoded = DecodeTextFile(bytes);
    encoding = EncodingOf(decoded.Mark);
    QString& text = decoded.Text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    // The last line's end leaves an empty piece; blank lines an editor left at the end go too.
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray TPIDListFile::Encode(const QStringList& lines, TEncoding& encoding) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    if (encoding == TEncoding::CodePage) {
        if (std::optional<QByteArray> bytes = EncodeCp1252(text))
            return *bytes;
        encoding = TEncoding::Utf8;
    }
    return EncodeWithMark(text, MarkOf(encoding));
}

QStringList TPIDListFile::Read(const QString& path, TEncoding& encoding) {
    // A directory, a pipe or a device is refused before it is opened: reading one could block or
    // never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw EPIDListError(QStringLiteral("File \"%1\" is not a PID table: it is not a file.")
                                .arg(Describe(path))
                                .toStdString());
    if (info.size() > MaxBytes)
        throw EPIDListError(QStringLiteral("File \"%1\" is not a PID table: it is too large.")
                                .arg(Describe(path))
                                .toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EPIDListError(QStringLiteral("Cannot open file \"%1\". %2")
                                .arg(Describe(path), file.errorString())
                                .toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EPIDListError(QStringLiteral("Cannot read file \"%1\". %2")
                                .arg(Describe(path), file.errorString())
                                .toStdString());
    TEncoding read = TEncoding::CodePage;
    QStringList lines = Decode(bytes, read);
    const QString problem = NotAPIDList(lines);
    if (!problem.isEmpty())
        throw EPIDListError(
            QStringLiteral("File \"%1\" is not a PID table: %2.").arg(Describe(path), problem).toStdString());
    encoding = read;
    return lines;
}

void TPIDListFile::Write(const QString& path, const QStringList& lines, TEncoding& encoding) {
    TEncoding used = encoding;
    const QByteArray bytes = Encode(lines, used);
    const TWriteResult written = TAtomicFile::WriteWhole(path, bytes);
    if (!written.Ok)
        throw EPIDListError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(Describe(path), written.Reason)
                                .toStdString());
    encoding = used;
}
