#pragma once
// Rows of a long galvanostatic run in the data file's layout, for benchmarks that need a data file
// or a journal of a million rows: a mode change every 10 000 rows, one-second points.
#include <QByteArray>
#include <cstdio>

// Appends row i (from 0) of the run, with the mode change before it when one is due.
inline void AppendRunRow(QByteArray& out, int i) {
    if (i % 10000 == 0)
        out += "2024-03-1514:05:09;5;;;;;;;;;;;;;;;\r\n";
    const int s = i % 86400;
    char line[320];
    const int n =
        std::snprintf(line, sizeof line,
                      "%d.00;15;%d;812.%02d;2.50123E-1;-3.157E-6;1.234567E-05;2.09E-1;0.012;True;True;"
                      "0.034;True;-5;2024-03-%02d_%02d:%02d:%02d:042;1.200000E-05;1.00\r\n",
                      i % 3600, i / 10000 + 1, i % 100, 15 + i / 86400, s / 3600, s / 60 % 60, s % 60);
    out.append(line, n);
}
