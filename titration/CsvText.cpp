#include "titration/CsvText.h"

#include <charconv>
#include <cmath>

void AppendCsvNumber(std::string& out, double value) {
    if (!std::isfinite(value))
        return;
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    if (ec == std::errc())
        out.append(buffer, end);
}

namespace {

void Two(std::string& out, long long v) {
    out += char('0' + v / 10 % 10);
    out += char('0' + v % 10);
}

} // namespace

void AppendIsoTime(std::string& out, TDateTime t) {
    if (!std::isfinite(t))
        return;
    // Milliseconds since 1899-12-30 (day 0 of TDateTime), then the civil date of the day count
    // since 1970-01-01 (day 25569).
    const long long ms = std::llround(t * 86400000.0);
    long long day = ms / 86400000;
    long long inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --day;
    }
    const TCivilDate date = CivilFromUnixDays(day - 25569);
    char year[8];
    const auto [end, ec] = std::to_chars(year, year + sizeof year, date.Year);
    if (ec == std::errc())
        out.append(year, end);
    out += '-';
    Two(out, date.Month);
    out += '-';
    Two(out, date.Day);
    out += 'T';
    Two(out, inDay / 3600000);
    out += ':';
    Two(out, inDay / 60000 % 60);
    out += ':';
    Two(out, inDay / 1000 % 60);
    out += '.';
    out += char('0' + inDay / 100 % 10);
    Two(out, inDay % 100);
}
