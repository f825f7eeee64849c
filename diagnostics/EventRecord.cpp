#include "diagnostics/EventRecord.h"

#include "common/DateTime.h"

namespace {
constexpr std::int64_t kMsPerDay = 86400000;

// `value` in `width` digits, leading zeros included; returns the position after them.
char* Digits(char* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + width;
}
} // namespace

void TEventRecord::WriteStamp(char* out) const {
    const std::int64_t days = LocalMs / kMsPerDay - (LocalMs % kMsPerDay < 0 ? 1 : 0);
    const int msOfDay = int(LocalMs - days * kMsPerDay);
    const TCivilDate date = CivilFromUnixDays(days);
    out = Digits(out, date.Year, 4);
    *out++ = '-';
    out = Digits(out, date.Month, 2);
    *out++ = '-';
    out = Digits(out, date.Day, 2);
    *out++ = ' ';
    out = Digits(out, msOfDay / 3600000, 2);
    *out++ = ':';
    out = Digits(out, msOfDay / 60000 % 60, 2);
    *out++ = ':';
    out = Digits(out, msOfDay / 1000 % 60, 2);
    *out++ = '.';
    Digits(out, msOfDay % 1000, 3);
}

void TEventRecord::AppendLine(std::string& out) const {
    char stamp[kStampLength];
    WriteStamp(stamp);
    out.append(stamp, kStampLength);
    out += '\t';
    out += Source;
    out += '\t';
    out += Text;
}

std::string TEventRecord::Line() const {
    std::string line;
    line.reserve(kStampLength + 2 + Source.size() + Text.size());
    AppendLine(line);
    return line;
}
