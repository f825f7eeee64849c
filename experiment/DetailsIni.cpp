#include "experiment/DetailsIni.h"

#include "common/AtomicFile.h"
#include "common/NumberFormat.h"

#include <QFile>
#include <QStringDecoder>
#include <string>

namespace {
// cp1252 differs from Latin-1 only in 0x80..0x9F; 0 marks the five unassigned bytes, which are
// then taken as their Latin-1 control characters.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString RawValue(const CSimpleIniA& ini, const char* section, const char* key, bool& found) {
    const char* v = ini.GetValue(section, key, nullptr);
    found = v != nullptr;
    return found ? TDetailsIni::DecodeText(QByteArray(v)).trimmed() : QString();
}
} // namespace

TDetailsIni::TDetailsIni() {
    fIni.SetUnicode(true); // skips a UTF-8 byte-order mark
    fIni.SetSpaces(false); // "key=value", as the Windows lab PCs write them
}

QString TDetailsIni::DecodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t high = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : 0;
        text += QChar(high ? high : char16_t(b));
    }
    return text;
}

bool TDetailsIni::Load(const QString& path) {
    fIni.Reset();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    return fIni.LoadData(data.constData(), size_t(data.size())) >= 0;
}

bool TDetailsIni::Save(const QString& path, QString* error) const {
    std::string text;
    if (fIni.Save(text) < 0) {
        if (error)
            *error = QStringLiteral("the settings could not be laid out");
        return false;
    }
    const TWriteResult written =
        TAtomicFile::WriteWhole(path, QByteArray::fromRawData(text.data(), qsizetype(text.size())));
    if (!written.Ok && error)
        *error = written.Reason;
    return written.Ok;
}

QString TDetailsIni::Text(const char* section, const char* key, const QString& fallback) const {
    bool found = false;
    const QString v = RawValue(fIni, section, key, found);
    return found ? v : fallback;
}

double TDetailsIni::Float(const char* section, const char* key, double fallback) const {
    bool found = false;
    const QString text = RawValue(fIni, section, key, found);
    double v = 0;
    if (TryParseRegional(text, v) || TryParseRegional(text, v, QChar(u',')))
        return v;
    return fallback;
}

int TDetailsIni::Integer(const char* section, const char* key, int fallback) const {
    bool found = false;
    const QString text = RawValue(fIni, section, key, found);
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : fallback;
}

bool TDetailsIni::Boolean(const char* section, const char* key, bool fallback) const {
    return Integer(section, key, fallback ? 1 : 0) != 0;
}

void TDetailsIni::SetText(const char* section, const char* key, const QString& value) {
    // A line break inside a value would end the line early and turn the rest into keys of its own.
    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    fIni.SetValue(section, key, oneLine.toUtf8().constData());
}

void TDetailsIni::SetFloat(const char* section, const char* key, double value) {
    fIni.SetValue(section, key, FormatGeneral(value).toUtf8().constData());
}

void TDetailsIni::SetInteger(const char* section, const char* key, int value) {
    fIni.SetValue(section, key, QByteArray::number(value).constData());
}

void TDetailsIni::SetBoolean(const char* section, const char* key, bool value) {
    fIni.SetValue(section, key, value ? "1" : "0");
}
