#include "instruments/InstrumentNumber.h"

#include "common/NumberFormat.h"

#include <charconv>
#include <system_error>

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

TInstrumentNumber Failure(size_t index) {
    return {0.0, int(index) + 1};
}

// Decimal order of magnitude of a valid, non-zero number text: 0 for 1..9.99, -1 for 0.1..0.999,
// and so on. Used only to tell an overflow from an underflow.
long long OrderOfMagnitude(std::string_view text) {
    long long order = 0;
    bool found = false;
    long long intDigits = 0;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (!found && text[i] != '0') {
            found = true;
            order = -intDigits; // corrected by the count of integer digits below
        }
        ++intDigits;
    }
    if (found)
        order += intDigits - 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (long long j = 1; i < text.size() && IsDigit(text[i]); ++i, ++j)
            if (!found && text[i] != '0') {
                found = true;
                order = -j;
            }
    }
    const size_t e = text.find_first_of("eE");
    if (e != std::string_view::npos) {
        size_t k = e + 1;
        const bool negative = k < text.size() && text[k] == '-';
        if (k < text.size() && (text[k] == '+' || text[k] == '-'))
            ++k;
        long long exponent = 0;
        for (; k < text.size(); ++k)
            if (exponent < 1000000)
                exponent = exponent * 10 + (text[k] - '0');
        order += negative ? -exponent : exponent;
    }
    return order;
}
} // namespace

TInstrumentNumber ParseInstrumentNumber(std::string_view text) {
    const size_t n = text.size();
    size_t i = 0;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    for (; i < n && IsDigit(text[i]); ++i)
        ++digits;
    if (i < n && text[i] == '.')
        for (++i; i < n && IsDigit(text[i]); ++i)
            ++digits;
    if (digits == 0)
        return Failure(i);
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        size_t expDigits = 0;
        for (; i < n && IsDigit(text[i]); ++i)
            ++expDigits;
        if (expDigits == 0)
            return Failure(i);
    }
    if (i < n)
        return Failure(i);

    // The text is a valid number; from_chars converts it without looking at the C locale, but
    // does not take a leading plus sign.
    const size_t start = text[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + start, text.data() + n, value);
    if (ec == std::errc::result_out_of_range) {
        if (OrderOfMagnitude(text) > 0)
            return Failure(n);
        return {text[0] == '-' ? -0.0 : 0.0, 0};
    }
    if (ec != std::errc() || end != text.data() + n)
        return Failure(size_t(end - text.data()));
    return {value, 0};
}

TInstrumentNumber ParseInstrumentNumber(const QByteArray& text) {
    return ParseInstrumentNumber(std::string_view(text.constData(), size_t(text.size())));
}

TInstrumentNumber ParseInstrumentNumber(const QString& text) {
    // Every character that matters is ASCII; anything beyond Latin-1 becomes '?', which never fits
    // and keeps its position.
    return ParseInstrumentNumber(text.toLatin1());
}

QString FormatInstrumentNumber(const QString& pattern, double value) {
    return FormatFloat(pattern, value, u'.');
}
