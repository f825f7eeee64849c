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
    long long z = day - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char year[8];
    const auto [end, ec] = std::to_chars(year, year + sizeof year, y);
    if (ec == std::errc())
        out.append(year, end);
    out += '-';
    Two(out, m);
    out += '-';
    Two(out, d);
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
