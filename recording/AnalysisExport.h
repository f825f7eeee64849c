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
#include <QString>

struct TAnalysisExportOptions {
    bool Events = true; // false: mode-change rows are left out
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
