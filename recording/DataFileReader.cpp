#include "recording/DataFileReader.h"

#include <charconv>

namespace {

using Bytes = TDataFileReader::Bytes;

// The Windows code page's characters at 0x80..0x9F (0: unassigned, read as U+FFFD).
const char16_t kCp1252Upper[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool StartsWith(Bytes line, Bytes head) {
    return line.substr(0, head.size()) == head;
}

bool Digits(Bytes s, std::size_t at, std::size_t n, int& value) {
    if (at + n > s.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// A cell as a number in either decimal format (a leading '+' allowed); an empty cell is NaN.
bool CellNumber(Bytes cell, double& value) {
    if (cell.empty()) {
        value = TDataRow::kEmpty;
        return true;
    }
    char buffer[64];
    if (cell.size() >= sizeof buffer)
        return false;
    std::size_t n = 0;
    for (char c : cell)
        buffer[n++] = c == ',' ? '.' : c;
    const char* first = buffer;
    if (*first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, buffer + n, value);
    return first != buffer + n && ec == std::errc() && end == buffer + n;
}

double FlagCell(Bytes cell) {
    if (cell == "True")
        return TDataRow::kTrue;
    if (cell == "MaxI")
        return TDataRow::kMaxI;
    return TDataRow::kEmpty;
}

} // namespace

QString TDataFileReader::FromAnsi(Bytes b) {
    QString s;
    s.reserve(qsizetype(b.size()));
    for (unsigned char c : b) {
        if (c >= 0x80 && c < 0xA0)
            s += QChar(kCp1252Upper[c - 0x80] ? kCp1252Upper[c - 0x80] : char16_t(0xFFFD));
        else
            s += QChar(char16_t(c));
    }
    return s;
}

bool TDataFileReader::Open(const QString& path, QString* error) {
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    fFile.setFileName(path);
    if (!fFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Could not read %1: %2").arg(path, fFile.errorString()));
    Bytes all;
    if (uchar* mapped = fFile.size() > 0 ? fFile.map(0, fFile.size()) : nullptr) {
        all = Bytes(reinterpret_cast<const char*>(mapped), std::size_t(fFile.size()));
    } else {
        fContents = fFile.readAll();
        all = Bytes(fContents.constData(), std::size_t(fContents.size()));
    }

    // The lines; a last line without its CR LF is set apart.
    fLines.clear();
    fLines.reserve(all.size() / 120 + 64);
    fLastUnfinished = false;
    for (std::size_t begin = 0; begin < all.size();) {
        const std::size_t nl = all.find('\n', begin);
        if (nl == Bytes::npos) {
            fLines.push_back(all.substr(begin));
            fLastUnfinished = true;
            break;
        }
        std::size_t end = nl;
        if (end > begin && all[end - 1] == '\r')
            --end;
        fLines.push_back(all.substr(begin, end - begin));
        begin = nl + 1;
    }
    const std::vector<Bytes>& lines = fLines;
    const std::size_t n = lines.size();
    const QString notAFile = QStringLiteral("%1 is not an experiment data file").arg(path);
    if (n < 9 || !StartsWith(lines[0], "** HEADER"))
        return fail(notAFile);

    // The header and the variables.
    ExperimentName = FromAnsi(lines[2]);
    Formula = FromAnsi(lines[3]);
    Saved = FromAnsi(lines[4]);
    if (Saved.startsWith(QStringLiteral("Saved ")))
        Saved = Saved.mid(6);
    std::size_t i = 5;
    while (i < n && !StartsWith(lines[i], "** VARIABLES"))
        ++i;
    while (i < n && !StartsWith(lines[i], "Value"))
        ++i;
    Variables.clear();
    for (++i; i < n && !lines[i].empty(); ++i) {
        QStringList parts = FromAnsi(lines[i]).split(u';');
        if (parts.size() < 4)
            continue;
        TDataFileVariable v;
        v.Name = parts.takeLast().trimmed();
        v.Abbreviation = parts.takeLast().trimmed();
        v.Unit = parts.takeLast().trimmed();
        v.Value = parts.join(u';');
        Variables.push_back(v);
    }

    // The notes run up to the DATA marker whose caption line follows; a note may hold anything else.
    while (i < n && !StartsWith(lines[i], "** NOTES"))
        ++i;
    const std::size_t notesBegin = i + 2;
    std::size_t dataMarker = notesBegin;
    for (; dataMarker + 2 < n; ++dataMarker) {
        if (StartsWith(lines[dataMarker], "** DATA *") && lines[dataMarker + 1].empty() &&
            StartsWith(lines[dataMarker + 2], "Duration"))
            break;
    }
    if (notesBegin >= n || dataMarker + 2 >= n)
        return fail(notAFile);
    Notes.clear();
    for (std::size_t k = notesBegin; k + 1 < dataMarker; ++k)
        Notes << FromAnsi(lines[k]);
    fDataBegin = dataMarker + 3;
    fDataEnd = std::max(fDataBegin, fLastUnfinished ? n - 1 : n);
    return true;
}

double TDataFileReader::VariableValue(const QString& abbreviation, double fallback) const {
    for (const TDataFileVariable& v : Variables) {
        if (v.Abbreviation != abbreviation)
            continue;
        QString t = v.Value.trimmed();
        t.replace(u',', u'.');
        bool ok = false;
        const double value = t.toDouble(&ok);
        return ok ? value : fallback;
    }
    return fallback;
}

bool TDataFileReader::SplitFields(Bytes line, std::vector<std::string>& quoted, Bytes* fields) {
    const int count = FieldCount;
    if (line.find('"') == Bytes::npos) {
        int n = 0;
        std::size_t begin = 0;
        while (true) {
            if (n == count)
                return false;
            const std::size_t end = line.find(';', begin);
            fields[n++] = line.substr(begin, end == Bytes::npos ? Bytes::npos : end - begin);
            if (end == Bytes::npos)
                break;
            begin = end + 1;
        }
        return n == count;
    }
    quoted.assign(1, std::string());
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                quoted.back() += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                quoted.back() += c;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == ';') {
            quoted.emplace_back();
        } else {
            quoted.back() += c;
        }
    }
    if (inQuotes || int(quoted.size()) != count)
        return false;
    for (int i = 0; i < count; ++i)
        fields[i] = quoted[std::size_t(i)];
    return true;
}

bool TDataFileReader::TimeCellParts(Bytes s, TTimeParts& t) {
    return s.size() == 23 && Digits(s, 0, 4, t.Year) && Digits(s, 5, 2, t.Month) && Digits(s, 8, 2, t.Day) &&
           Digits(s, 11, 2, t.Hour) && Digits(s, 14, 2, t.Minute) && Digits(s, 17, 2, t.Second) &&
           Digits(s, 20, 3, t.Millisecond);
}

bool TDataFileReader::ModeChangeParts(Bytes s, TTimeParts& t) {
    t.Millisecond = 0;
    return s.size() == 18 && Digits(s, 0, 4, t.Year) && Digits(s, 5, 2, t.Month) && Digits(s, 8, 2, t.Day) &&
           Digits(s, 10, 2, t.Hour) && Digits(s, 13, 2, t.Minute) && Digits(s, 16, 2, t.Second);
}

TDateTime TDataFileReader::TTimeParts::Days() const {
    // Days from 1970-01-01 of the civil date, then from 1899-12-30 (day 25569 before it).
    const int y = Year - (Month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe - 719468 + 25569;
    return double(days) + ((Hour * 60.0 + Minute) * 60.0 + Second + Millisecond / 1000.0) / SecondsPerDay;
}

bool TDataFileReader::ToRow(const Bytes* f, TDataRow& row) {
    row = TDataRow();
    TTimeParts t;
    if (TimeCellParts(f[fTime], t)) {
        row.Kind = TRowKind::Data;
        row[TProperty::Date] = t.Days();
        const struct {
            TField field;
            TProperty property;
        } numbers[] = {{fDuration, TProperty::Time},    {fMode, TProperty::Mode},
                       {fStep, TProperty::Step},        {fTemp, TProperty::Temp},
                       {fPumpV, TProperty::PumpV},      {fPumpI, TProperty::PumpI},
                       {fCellpO2, TProperty::CellpO2},  {fFlushpO2, TProperty::FlushpO2},
                       {fRCpO2, TProperty::RCpO2},      {fRCI, TProperty::RCI},
                       {fSP, TProperty::SetPoint},      {fCellpO2P, TProperty::CellpO2P},
                       {fInterval, TProperty::Interval}};
        for (const auto& n : numbers) {
            double v = 0;
            row[n.property] = CellNumber(f[n.field], v) ? v : TDataRow::kEmpty;
        }
        row[TProperty::StablepO2] = FlagCell(f[fStablepO2]);
        row[TProperty::RangepO2] = FlagCell(f[fRangepO2]);
        row[TProperty::StableI] = FlagCell(f[fStableI]);
        return true;
    }
    const Bytes mode = f[fMode];
    if (mode.size() == 1 && mode[0] >= '1' && mode[0] <= '6' && ModeChangeParts(f[fDuration], t)) {
        row.Kind = TRowKind::ModeChange;
        row[TProperty::Mode] = mode[0] - '0';
        row[TProperty::Date] = t.Days();
        return true;
    }
    return false;
}
