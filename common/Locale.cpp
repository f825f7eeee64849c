#include "common/Locale.h"

#include <atomic>

namespace {
// Read from the worker threads too, so kept as atomics; 0 means "not decided yet".
std::atomic<char16_t> gDecimal{0};
std::atomic<char16_t> gTime{0};

char16_t FirstChar(const QString& s, char16_t fallback) {
    return s.isEmpty() ? fallback : s.at(0).unicode();
}

void Decide(const QLocale& locale) {
    gDecimal.store(FirstChar(locale.decimalPoint(), u'.'));
    // A locale's time format such as "HH:mm:ss" or "HH.mm.ss": the first character that is not a
    // field letter is its separator.
    char16_t sep = u':';
    for (QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (!c.isLetter() && c != u' ') {
            sep = c.unicode();
            break;
        }
    }
    gTime.store(sep);
}
} // namespace

QChar DecimalSeparator() {
    char16_t c = gDecimal.load(std::memory_order_relaxed);
    if (c == 0) {
        Decide(QLocale::system());
        c = gDecimal.load();
    }
    return QChar(c);
}

QChar TimeSeparator() {
    char16_t c = gTime.load(std::memory_order_relaxed);
    if (c == 0) {
        Decide(QLocale::system());
        c = gTime.load();
    }
    return QChar(c);
}

void SetRegionalLocale(const QLocale& locale) {
    Decide(locale);
}
