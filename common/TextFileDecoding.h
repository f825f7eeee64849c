#pragma once
// The text of a small settings file, whatever editor wrote it.
//
// Files reach the program from the Windows lab PCs as often as from the program itself: Notepad's
// "Unicode" (UTF-16 LE with a byte-order mark), "Unicode big endian", UTF-8 with or without a mark,
// or the 8-bit Windows code page (cp1252: µ, º, €). A byte-order mark names the encoding; without
// one the bytes are UTF-8 when they are valid UTF-8 and cp1252 otherwise.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The byte-order mark a file starts with.
enum class TTextMark {
    None, // no mark: UTF-8 or cp1252
    Utf8,
    Utf16LE,
    Utf16BE,
    Utf32LE,
    Utf32BE,
};

struct TDecodedText {
    QString Text; // without the mark
    TTextMark Mark = TTextMark::None;
};

// The mark `bytes` start with (the longest that matches: the UTF-32 LE mark begins with the UTF-16
// LE one).
TTextMark TextMarkOf(QByteArrayView bytes);
// The length of the mark in bytes (0 for None).
int TextMarkLength(TTextMark mark);

// The text of the whole file.
TDecodedText DecodeTextFile(QByteArrayView bytes);
// The text of bytes without a mark: UTF-8 when they are valid UTF-8, else cp1252.
QString DecodeUtf8OrCodePage(QByteArrayView bytes);
// cp1252 byte for byte. Its five unassigned bytes map to the C1 control characters of the same
// value, as Windows maps them, so every byte survives a round trip.
QString DecodeCp1252(QByteArrayView bytes);
// The character of one cp1252 byte.
char16_t Cp1252Char(unsigned char byte);

// The text in the encoding of `mark`, the mark first; None gives UTF-8 without a mark.
QByteArray EncodeWithMark(const QString& text, TTextMark mark);

// True when the text holds characters no settings file has: NUL and the other control characters
// but tab, line feed, carriage return and form feed. Random bytes, an image or a UTF-16 file that
// lost its mark read this way.
bool LooksBinary(const QString& text);
