#include "experiment/DetailsIni.h"

#include "common/AtomicFile.h"
#include "common/NumberFormat.h"
#include "common/TextFileDecoding.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QStringDecoder>
#include <string>

namespace {
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
    return DecodeUtf8OrCodePage(bytes);
}

bool TDetailsIni::Load(const QString& path) {
    fIni.Reset();
    fMissing = false;
    fProblem.clear();
    // A directory, a pipe or a device is refused before it is opened: reading one could block or
    // never end.
    const QFileInfo info(path);
    if (!info.exists()) {
        fMissing = true;
        return false;
    }
    if (!info.isFile()) {
        fProblem = QStringLiteral("it is not a file");
        return false;
    }
    if (info.size() > MaxBytes) {
        fProblem = QStringLiteral("it is too large");
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        fProblem = QStringLiteral("it cannot be read (%1)").arg(f.errorString());
        return false;
    }
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        fProblem = QStringLiteral("it cannot be read (%1)").arg(f.errorString());
        return false;
    }
    // Without a mark, or with the UTF-8 one (which the INI reader skips), the bytes go to the
    // reader as they are and each value is decoded by itself, so a file that mixes UTF-8 and cp1252
    // values keeps both. UTF-16 and UTF-32 become UTF-8 first.
    const TTextMark mark = TextMarkOf(data);
    QString text;
    if (mark == TTextMark::None || mark == TTextMark::Utf8) {
        text = DecodeUtf8OrCodePage(QByteArrayView(data).sliced(TextMarkLength(mark)));
    } else {
        text = DecodeTextFile(data).Text;
        data = text.toUtf8();
    }
    if (LooksBinary(text)) {
        fProblem = QStringLiteral("it is not a text file");
        return false;
    }
    if (text.trimmed().isEmpty()) {
        fProblem = QStringLiteral("it is empty");
        return false;
    }
    if (fIni.LoadData(data.constData(), size_t(data.size())) < 0) {
        fIni.Reset();
        fProblem = QStringLiteral("it cannot be read as an INI file");
        return false;
    }
    return true;
}

QString TDetailsIni::Refusal(std::initializer_list<const char*> sections) const {
    if (fMissing)
        return QString();
    if (!fProblem.isEmpty())
        return fProblem;
    QStringList names;
    for (const char* section : sections) {
        if (fIni.GetSectionSize(section) > 0)
            return QString();
        names << u'[' + QString::fromUtf8(section) + u']';
    }
    CSimpleIniA::TNamesDepend all;
    fIni.GetAllSections(all);
    if (all.empty())
        return QStringLiteral("it holds no INI section; it needs one of %1")
            .arg(names.join(QStringLiteral(", ")));
    return QStringLiteral("it holds none of the sections %1 with a key")
        .arg(names.join(QStringLiteral(", ")));
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
