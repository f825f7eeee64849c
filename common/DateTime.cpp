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
