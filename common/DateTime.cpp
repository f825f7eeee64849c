#include "common/DateTime.h"

#include "common/Locale.h"

#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
}

TDateTime DateTimeFromQt(const QDateTime& dt) {
    const qint64 days = kEpoch.daysTo(dt.date());
    const double msec = dt.time().msecsSinceStartOfDay();
    return double(days) + msec / (SecondsPerDay * 1000.0);
}

QDateTime QtFromDateTime(TDateTime t) {
    double dayPart = std::floor(t);
    qint64 msec = std::llround((t - dayPart) * SecondsPerDay * 1000.0);
    if (msec >= qint64(SecondsPerDay * 1000)) {
        dayPart += 1;
        msec -= qint64(SecondsPerDay * 1000);
    }
    return QDateTime(kEpoch.addDays(qint64(dayPart)), QTime::fromMSecsSinceStartOfDay(int(msec)));
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    return DateTimeFromQt(QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec)));
}

QString FormatDateTime(const QString& pattern, TDateTime t) {
    const QDateTime dt = QtFromDateTime(t);
    const QDate d = dt.date();
    const QTime tm = dt.time();
    QString out;
    bool afterHour = false;
    const auto two = [](int v) { return QString::number(v).rightJustified(2, u'0'); };
    for (int i = 0; i < pattern.size();) {
        const QStringView rest = QStringView(pattern).mid(i);
        if (rest.startsWith(u"yyyy", Qt::CaseInsensitive)) {
            out += QString::number(d.year()).rightJustified(4, u'0');
            i += 4;
            afterHour = false;
        } else if (rest.startsWith(u"mm", Qt::CaseInsensitive)) {
            out += afterHour ? two(tm.minute()) : two(d.month());
            i += 2;
            afterHour = false;
        } else if (rest.startsWith(u"dd", Qt::CaseInsensitive)) {
            out += two(d.day());
            i += 2;
            afterHour = false;
        } else if (rest.startsWith(u"hh", Qt::CaseInsensitive)) {
            out += two(tm.hour());
            i += 2;
            afterHour = true;
        } else if (rest.startsWith(u"ss", Qt::CaseInsensitive)) {
            out += two(tm.second());
            i += 2;
            afterHour = false;
        } else if (rest.startsWith(u"zzz", Qt::CaseInsensitive)) {
            out += QString::number(tm.msec()).rightJustified(3, u'0');
            i += 3;
            afterHour = false;
        } else if (pattern[i] == u':') {
            out += TimeSeparator();
            ++i; // a separator keeps "mm" after "hh" meaning minutes
        } else {
            out += pattern[i];
            ++i;
            if (pattern[i - 1] != u' ')
                afterHour = false;
        }
    }
    return out;
}

TCivilDate CivilFromUnixDays(long long days) {
    // Eras of 400 years, each year counted from March so that the leap day ends it.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;                                      // [0, 146096]
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365; // [0, 399]
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);               // [0, 365]
    const long long mp = (5 * doy + 2) / 153;                                    // [0, 11]
    TCivilDate d;
    d.Day = int(doy - (153 * mp + 2) / 5 + 1);
    d.Month = int(mp < 10 ? mp + 3 : mp - 9);
    d.Year = int(yoe + era * 400 + (d.Month <= 2 ? 1 : 0));
    return d;
}
