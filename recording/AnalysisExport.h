#pragma once
// Turns an experiment data file (or a journal, which has the same layout) into files that
// analysis tools read without help:
//   <output>.csv   UTF-8, comma separated, one header line of column names with units, a point as
//                  decimal separator, numbers only, the time as ISO 8601 (2024-03-15T14:05:09.042);
//                  a mode-change row becomes a row with only its time and an "event" text
//                  ("mode Paused"), or is left out;
//   <output>.json  the header, the variables with their units, the notes and the columns.
// The data file itself is read as written: Windows code page, CR LF, cells in the regional
// number format. A line the writer did not finish (a journal cut short) or that does not have
// the data file's 17 fields is skipped and counted.
// Columns worked out from the rows can follow the file's own (after "event"): an
// IAnalysisColumns sees every row in order and writes its cells, described in the JSON file too.
#include <QString>
#include <string>
#include <vector>

class TDataFileReader;
struct TDataRow;

class IAnalysisColumns {
public:
    struct TColumnInfo {
        QString Name, Unit, Meaning;
    };
    virtual ~IAnalysisColumns() = default;
    virtual std::vector<TColumnInfo> Columns() const = 0;
    // Before the first row: the file as opened (its variables).
    virtual void Begin(const TDataFileReader& file) = 0;
    // Every row that reads (data or mode change), in order; for a row written to the CSV file it
    // appends ',' and its cell for each column.
    virtual void Append(const TDataRow& row, std::string* out) = 0;
};

struct TAnalysisExportOptions {
    bool Events = true;                // false: mode-change rows are left out
    IAnalysisColumns* Extra = nullptr; // more columns after the file's own; none when null
};

struct TAnalysisExportResult {
    bool Ok = false;
    QString Message; // for the operator when it failed
    QString CsvPath, JsonPath;
    long long DataRows = 0;     // data rows written
    long long EventRows = 0;    // mode-change rows written (or left out)
    long long SkippedLines = 0; // unfinished or malformed lines
};

class TAnalysisExport {
public:
    // "<input without .csv>.analysis.csv", beside the input.
    static QString DefaultOutput(const QString& inputPath);
    // The JSON file that goes with a CSV file: "x.csv" -> "x.json".
    static QString JsonPathFor(const QString& csvPath);
    static TAnalysisExportResult Run(const QString& inputPath, const QString& csvPath,
                                     const TAnalysisExportOptions& options = {});
};
