#include "common/TextFileDecoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// cp1252 differs from Latin-1 only in 0x80..0x9F.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct TMarkBytes {
    TTextMark mark;
    QByteArrayView bytes;
    QStringConverter::Encoding encoding;
};

// Longest first: the UTF-32 LE mark starts with the UTF-16 LE one.
const TMarkBytes kMarks[] = {
    {TTextMark::Utf32LE, QByteArrayView("\xFF\xFE\x00\x00", 4), QStringConverter::Utf32LE},
    {TTextMark::Utf32BE, QByteArrayView("\x00\x00\xFE\xFF", 4), QStringConverter::Utf32BE},
    {TTextMark::Utf8, QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8},
    {TTextMark::Utf16LE, QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE},
    {TTextMark::Utf16BE, QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE},
};

const TMarkBytes* Find(TTextMark mark) {
    for (const TMarkBytes& m : kMarks)
        if (m.mark == mark)
            return &m;
    return nullptr;
}
} // namespace

char16_t Cp1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

QString DecodeCp1252(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out += QChar(Cp1252Char(static_cast<unsigned char>(c)));
    return out;
}

QString DecodeUtf8OrCodePage(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? DecodeCp1252(bytes) : text;
}

TTextMark TextMarkOf(QByteArrayView bytes) {
    for (const TMarkBytes& m : kMarks)
        if (bytes.startsWith(m.bytes))
            return m.mark;
    return TTextMark::None;
}

int TextMarkLength(TTextMark mark) {
    const TMarkBytes* m = Find(mark);
    return m ? int(m->bytes.size()) : 0;
}

TDecodedText DecodeTextFile(QByteArrayView bytes) {
    TDecodedText out;
    out.Mark = TextMarkOf(bytes);
    const TMarkBytes* m = Find(out.Mark);
    if (!m) {
        out.Text = DecodeUtf8OrCodePage(bytes);
        return out;
    }
    // An odd byte at the end of a UTF-16 file becomes a replacement character.
    QStringDecoder decoder(m->encoding, QStringDecoder::Flag::Stateless);
    out.Text = decoder.decode(bytes.sliced(m->bytes.size()));
    return out;
}

QByteArray EncodeWithMark(const QString& text, TTextMark mark) {
    const TMarkBytes* m = Find(mark);
    if (!m)
        return text.toUtf8();
    QStringEncoder encoder(m->encoding, QStringEncoder::Flag::Stateless);
    QByteArray out = m->bytes.toByteArray();
    out += encoder.encode(text);
    return out;
}

bool LooksBinary(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f')
            return true;
    }
    return false;
}
