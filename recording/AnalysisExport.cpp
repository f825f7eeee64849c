#include "recording/AnalysisExport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <charconv>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::string_view;

// The Windows code page's characters at 0x80..0x9F (0: unassigned, read as U+FFFD).
const char16_t kCp1252Upper[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString FromAnsi(Bytes b) {
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

bool StartsWith(Bytes line, Bytes head) {
    return line.substr(0, head.size()) == head;
}

// The file's lines; a last line without its CR LF is reported apart (the writer did not finish it).
struct TLines {
    std::vector<Bytes> Lines;
    bool LastUnfinished = false;
};

TLines SplitLines(Bytes all) {
    TLines out;
    out.Lines.reserve(all.size() / 120 + 64);
    std::size_t begin = 0;
    while (begin < all.size()) {
        const std::size_t nl = all.find('\n', begin);
        if (nl == Bytes::npos) {
            out.Lines.push_back(all.substr(begin));
            out.LastUnfinished = true;
            break;
        }
        std::size_t end = nl;
        if (end > begin && all[end - 1] == '\r')
            --end;
        out.Lines.push_back(all.substr(begin, end - begin));
        begin = nl + 1;
    }
    return out;
}

// Splits a data line into its fields; a quoted field loses its quotes and its doubled quotes.
// Returns false when the line does not have exactly `count` fields.
bool SplitFields(Bytes line, std::vector<std::string>& quoted, Bytes* fields, int count) {
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

// True when the whole text is a number (a leading '+' allowed).
bool WholeNumber(const char* first, const char* last) {
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    return first != last && ec == std::errc() && end == last;
}

bool Digits(Bytes s, std::size_t at, std::size_t n) {
    if (at + n > s.size())
        return false;
    for (std::size_t i = at; i < at + n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// "2024-03-15_14:05:09:042" (the Time column; the separators follow the regional settings)
// -> "2024-03-15T14:05:09.042".
bool IsoFromTimeCell(Bytes s, std::string& out) {
    if (s.size() != 23 || !Digits(s, 0, 4) || !Digits(s, 5, 2) || !Digits(s, 8, 2) || !Digits(s, 11, 2) ||
        !Digits(s, 14, 2) || !Digits(s, 17, 2) || !Digits(s, 20, 3))
        return false;
    out.assign(s.data(), 10);
    out += 'T';
    out.append(s.data() + 11, 2);
    out += ':';
    out.append(s.data() + 14, 2);
    out += ':';
    out.append(s.data() + 17, 2);
    out += '.';
    out.append(s.data() + 20, 3);
    return true;
}

// A mode-change row's moment, "2024-03-1514:05:09" once the writer removed its blank
// -> "2024-03-15T14:05:09.000".
bool IsoFromModeChange(Bytes s, std::string& out) {
    if (s.size() != 18 || !Digits(s, 0, 4) || !Digits(s, 5, 2) || !Digits(s, 8, 4) || !Digits(s, 13, 2) ||
        !Digits(s, 16, 2))
        return false;
    out.assign(s.data(), 10);
    out += 'T';
    out.append(s.data() + 10, 2);
    out += ':';
    out.append(s.data() + 13, 2);
    out += ':';
    out.append(s.data() + 16, 2);
    out += ".000"; // the same form as the data rows' times, so readers parse one format
    return true;
}

const char* StateName(Bytes mode) {
    static const char* const names[] = {"Paused", "SetCurrent", "SetVoltage", "PIDSet", "PIDStep", "PPS"};
    if (mode.size() == 1 && mode[0] >= '1' && mode[0] <= '6')
        return names[mode[0] - '1'];
    return nullptr;
}

// The data file's 17 fields, in its column order.
enum Field {
    fDuration,
    fMode,
    fStep,
    fTemp,
    fPumpV,
    fPumpI,
    fCellpO2,
    fFlushpO2,
    fRCpO2,
    fStablepO2,
    fRangepO2,
    fRCI,
    fStableI,
    fSP,
    fTime,
    fCellpO2P,
    fInterval,
    FieldCount
};

// The CSV's columns: name, unit, the data file's caption, what it holds.
struct TColumn {
    const char* Name;
    const char* Unit;
    const char* Caption;
    const char* Meaning;
};
const TColumn kColumns[] = {
    {"time", "ISO 8601, local time", "Time",
     "end of the data point; for an event the moment of the mode change"},
    {"duration_s", "s", "Duration, s", "time since integration started in this mode"},
    {"mode", "", "Mode",
     "pump mode while the point was integrated: 12 SetCurrent, 13 SetVoltage, 14 PIDSet, "
     "15 PIDStep, 16 PPS"},
    {"step", "", "Step", "step of the step program, from 1"},
    {"cell_T_degC", "°C", "Cell T, ºC", "cell temperature"},
    {"pump_V_V", "V", "Pump V, V", "pump voltage"},
    {"pump_I_A", "A", "Pump I, A", "pump current"},
    {"cell_pO2_atm", "atm", "Cell pO2, atm", "oxygen partial pressure at the sensor"},
    {"flush_pO2_atm", "atm", "Flush pO2, atm", "flush-side oxygen partial pressure"},
    {"RC_pO2_pct", "%", "RC pO2, %", "relative change of the cell pO2"},
    {"stable_pO2", "1/0", "Stable pO2", "1 when the cell pO2 was stable"},
    {"range_pO2", "1/0", "Range pO2", "1 when the cell pO2 was within range of the setpoint"},
    {"RC_I_pct", "%", "RC I, %", "relative change of the pump current"},
    {"stable_I", "1/0", "Stable I", "1 when the pump current was stable"},
    {"max_I", "1/0", "Stable I", "1 when the pump current was at its limit (MaxI)"},
    {"setpoint", "log10(atm) in PIDStep, V in PPS", "SP", "setpoint of the step program"},
    {"cell_pO2P_atm", "atm", "Cell pO2P, atm", "cell-side pO2 from the pump voltage"},
    {"interval_s", "s", "Interval, s", "length of the data point"},
    {"event", "", "", "\"mode <state>\" for a row that records a mode change; empty for data"},
};

// A number cell in the regional format, written as a plain number with a point; a cell that is
// not a number stays empty.
void AppendNumber(std::string& out, Bytes cell, std::string& scratch) {
    if (cell.find(',') == Bytes::npos) {
        if (WholeNumber(cell.data(), cell.data() + cell.size()))
            out.append(cell);
        return;
    }
    scratch.assign(cell.data(), cell.size());
    for (char& c : scratch)
        if (c == ',')
            c = '.';
    if (WholeNumber(scratch.data(), scratch.data() + scratch.size()))
        out += scratch;
}

void AppendFlag(std::string& out, bool set) {
    out += set ? '1' : '0';
}

QJsonValue VariableValue(const QString& text) {
    QString t = text.trimmed();
    t.replace(u',', u'.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(text.trimmed());
}

QString WriteError(const QString& path, const QString& error) {
    return QStringLiteral("Could not write %1: %2").arg(path, error);
}

} // namespace

QString TAnalysisExport::DefaultOutput(const QString& inputPath) {
    QString base = inputPath;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".analysis.csv");
}

QString TAnalysisExport::JsonPathFor(const QString& csvPath) {
    QString base = csvPath;
    if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".json");
}

TAnalysisExportResult TAnalysisExport::Run(const QString& inputPath, const QString& csvPath,
                                           const TAnalysisExportOptions& options) {
    TAnalysisExportResult result;
    result.CsvPath = csvPath;
    result.JsonPath = JsonPathFor(csvPath);
    if (QFileInfo(csvPath).absoluteFilePath() == QFileInfo(inputPath).absoluteFilePath()) {
        result.Message = QStringLiteral("The export would replace its own input %1").arg(inputPath);
        return result;
    }

    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly)) {
        result.Message = QStringLiteral("Could not read %1: %2").arg(inputPath, input.errorString());
        return result;
    }
    QByteArray contents;
    Bytes all;
    if (uchar* mapped = input.size() > 0 ? input.map(0, input.size()) : nullptr) {
        all = Bytes(reinterpret_cast<const char*>(mapped), std::size_t(input.size()));
    } else {
        contents = input.readAll();
        all = Bytes(contents.constData(), std::size_t(contents.size()));
    }
    const TLines split = SplitLines(all);
    const std::vector<Bytes>& lines = split.Lines;
    const std::size_t n = lines.size();

    auto notAFile = [&] {
        result.Message = QStringLiteral("%1 is not an experiment data file").arg(inputPath);
        return result;
    };
    if (n < 9 || !StartsWith(lines[0], "** HEADER"))
        return notAFile();

    // The header and the variables.
    QJsonObject header;
    header[QStringLiteral("experiment_name")] = FromAnsi(lines[2]);
    header[QStringLiteral("nominal_formula")] = FromAnsi(lines[3]);
    QString saved = FromAnsi(lines[4]);
    if (saved.startsWith(QStringLiteral("Saved ")))
        saved = saved.mid(6);
    header[QStringLiteral("saved")] = saved;
    std::size_t i = 5;
    while (i < n && !StartsWith(lines[i], "** VARIABLES"))
        ++i;
    while (i < n && !StartsWith(lines[i], "Value"))
        ++i;
    QJsonArray variables;
    for (++i; i < n && !lines[i].empty(); ++i) {
        QStringList parts = FromAnsi(lines[i]).split(u';');
        if (parts.size() < 4)
            continue;
        QJsonObject v;
        v[QStringLiteral("name")] = parts.takeLast().trimmed();
        v[QStringLiteral("abbreviation")] = parts.takeLast().trimmed();
        v[QStringLiteral("unit")] = parts.takeLast().trimmed().replace(QChar(0xBA), QChar(0xB0));
        v[QStringLiteral("value")] = VariableValue(parts.join(u';'));
        variables.append(v);
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
        return notAFile();
    QStringList notes;
    for (std::size_t k = notesBegin; k + 1 < dataMarker; ++k)
        notes << FromAnsi(lines[k]);

    // The rows.
    QSaveFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly)) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }
    std::string out;
    out.reserve(1 << 22);
    for (const TColumn& c : kColumns) {
        if (&c != kColumns)
            out += ',';
        out += c.Name;
    }
    out += "\n";
    Bytes fields[FieldCount];
    std::vector<std::string> quoted;
    std::string scratch, time;
    const std::size_t lastComplete = split.LastUnfinished ? n - 1 : n;
    result.SkippedLines = split.LastUnfinished ? 1 : 0;
    for (std::size_t k = dataMarker + 3; k < lastComplete; ++k) {
        const Bytes line = lines[k];
        if (!SplitFields(line, quoted, fields, FieldCount)) {
            if (!line.empty())
                ++result.SkippedLines;
            continue;
        }
        if (IsoFromTimeCell(fields[fTime], time)) {
            out += time;
            for (int f : {fDuration, fMode, fStep, fTemp, fPumpV, fPumpI, fCellpO2, fFlushpO2, fRCpO2}) {
                out += ',';
                AppendNumber(out, fields[f], scratch);
            }
            out += ',';
            AppendFlag(out, fields[fStablepO2] == "True");
            out += ',';
            AppendFlag(out, fields[fRangepO2] == "True");
            out += ',';
            AppendNumber(out, fields[fRCI], scratch);
            out += ',';
            AppendFlag(out, fields[fStableI] == "True");
            out += ',';
            AppendFlag(out, fields[fStableI] == "MaxI");
            for (int f : {fSP, fCellpO2P, fInterval}) {
                out += ',';
                AppendNumber(out, fields[f], scratch);
            }
            out += ",\n";
            ++result.DataRows;
        } else if (const char* state = StateName(fields[fMode]);
                   state && IsoFromModeChange(fields[fDuration], time)) {
            ++result.EventRows;
            if (!options.Events)
                continue;
            out += time;
            out.append(std::size(kColumns) - 2, ',');
            out += ",mode ";
            out += state;
            out += '\n';
        } else {
            ++result.SkippedLines;
            continue;
        }
        if (out.size() > (1u << 22) - 4096) {
            if (csv.write(out.data(), qint64(out.size())) != qint64(out.size())) {
                result.Message = WriteError(csvPath, csv.errorString());
                return result;
            }
            out.clear();
        }
    }
    if (csv.write(out.data(), qint64(out.size())) != qint64(out.size()) || !csv.commit()) {
        result.Message = WriteError(csvPath, csv.errorString());
        return result;
    }

    // The description beside it.
    QJsonArray columns;
    for (const TColumn& c : kColumns) {
        QJsonObject col;
        col[QStringLiteral("name")] = QString::fromLatin1(c.Name);
        col[QStringLiteral("unit")] = QString::fromUtf8(c.Unit);
        col[QStringLiteral("data_file_caption")] = QString::fromUtf8(c.Caption);
        col[QStringLiteral("meaning")] = QString::fromUtf8(c.Meaning);
        columns.append(col);
    }
    QJsonObject doc;
    doc[QStringLiteral("source")] = QFileInfo(inputPath).fileName();
    doc[QStringLiteral("header")] = header;
    doc[QStringLiteral("variables")] = variables;
    doc[QStringLiteral("notes")] = notes.join(u'\n');
    doc[QStringLiteral("columns")] = columns;
    doc[QStringLiteral("data_rows")] = double(result.DataRows);
    doc[QStringLiteral("mode_changes")] = double(result.EventRows);
    doc[QStringLiteral("mode_changes_included")] = options.Events;
    doc[QStringLiteral("skipped_lines")] = double(result.SkippedLines);
    QSaveFile json(result.JsonPath);
    const QByteArray jsonBytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    if (!json.open(QIODevice::WriteOnly) || json.write(jsonBytes) != jsonBytes.size() || !json.commit()) {
        result.Message = WriteError(result.JsonPath, json.errorString());
        return result;
    }
    result.Ok = true;
    return result;
}
