#include "control/TPIDListFile.h"

#include "common/AtomicFile.h"
#include "control/EPIDListError.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace {

using TEncoding = TPIDListFile::TEncoding;

// cp1252 differs from Latin-1 only in 0x80..0x9F. Its five unassigned bytes map to the C1 control
// characters of the same value, as Windows maps them, so every byte survives a round trip.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeCp1252(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

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
            if (kCp1252High[i] == u)
                found = i;
        if (found < 0)
            return std::nullopt;
        out += char(0x80 + found);
    }
    return out;
}

struct TMark {
    TEncoding encoding;
    QByteArrayView bytes;
    QStringConverter::Encoding converter;
};

// Longest first: the UTF-32 LE mark starts with the UTF-16 LE one.
const TMark kMarks[] = {
    {TEncoding::Utf32LE, QByteArrayView("\xFF\xFE\x00\x00", 4), QStringConverter::Utf32LE},
    {TEncoding::Utf32BE, QByteArrayView("\x00\x00\xFE\xFF", 4), QStringConverter::Utf32BE},
    {TEncoding::Utf8, QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8},
    {TEncoding::Utf16LE, QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE},
    {TEncoding::Utf16BE, QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE},
};

const TMark* MarkOf(TEncoding encoding) {
    for (const TMark& m : kMarks)
        if (m.encoding == encoding)
            return &m;
    return nullptr;
}

QString DecodeWithoutMark(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeCp1252(bytes);
}

QString Describe(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

QStringList TPIDListFile::Decode(const QByteArray& bytes, TEncoding& encoding) {
    QString text;
    encoding = TEncoding::CodePage;
    const TMark* mark = nullptr;
    for (const TMark& m : kMarks)
        if (bytes.startsWith(m.bytes)) {
            mark = &m;
            break;
        }
    if (mark) {
        encoding = mark->encoding;
        QStringDecoder decoder(mark->converter, QStringDecoder::Flag::Stateless);
        text = decoder.decode(QByteArrayView(bytes).sliced(mark->bytes.size()));
    } else {
        text = DecodeWithoutMark(bytes);
    }

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
    const TMark* mark = MarkOf(encoding);
    QStringEncoder encoder(mark->converter, QStringEncoder::Flag::Stateless);
    QByteArray out = mark->bytes.toByteArray();
    out += encoder.encode(text);
    return out;
}

QStringList TPIDListFile::Read(const QString& path, TEncoding& encoding) {
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
    return Decode(bytes, encoding);
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
