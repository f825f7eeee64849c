#include "common/NumberFormat.h"

#include "common/Locale.h"

#include <QLocale>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The decimal digits of |v| rounded to 15 significant digits: v = 0.d1d2...d15 * 10^(exp10 + 1).
struct Digits {
    std::string d; // exactly 15 digits, d[0] != '0' unless the value is zero
    int exp10 = 0; // exponent of the first digit
    bool zero = true;
};

Digits DecimalDigits(double v) {
    Digits r;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    // buf: "d.dddddddddddddde+XX"
    r.d.reserve(15);
    r.d += buf[0];
    for (int i = 2; i < 16; ++i)
        r.d += buf[i];
    r.exp10 = std::atoi(buf + 17);
    r.zero = (v == 0.0);
    return r;
}

// Keeps `keep` leading digits of `ds`, rounding the rest half away from zero. Returns the kept
// digits (may be one longer after a carry, in which case exp10 grows by one).
std::string RoundDigits(const Digits& ds, int keep, int& exp10) {
    exp10 = ds.exp10;
    if (ds.zero || keep < 0)
        return std::string();
    std::string s = ds.d;
    if (keep >= int(s.size())) {
        s.append(keep - s.size(), '0');
        return s;
    }
    const bool up = s[keep] >= '5';
    s.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && s[i] == '9') {
            s[i] = '0';
            --i;
        }
        if (i >= 0) {
            ++s[i];
        } else {
            s.insert(s.begin(), '1');
            ++exp10;
            s.pop_back();
            if (keep == 0)
                s = "1";
        }
    }
    return s;
}

QString NonFinite(double v) {
    if (std::isnan(v))
        return QStringLiteral("NAN");
    return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

struct Pattern {
    QString mantissa; // the part before the exponent marker
    bool scientific = false;
    bool expAlwaysSign = false;
    int expDigits = 0;
    QString expTail;    // literal text after the exponent placeholders
    int intPlaces = 0;  // '0' or '#' before the decimal point
    int fracPlaces = 0; // '0' or '#' after it
    int pointAt = -1;   // position of '.' in mantissa
};

Pattern ParsePattern(const QString& p) {
    Pattern r;
    int e = -1;
    for (int i = 0; i + 1 < p.size(); ++i) {
        if ((p[i] == u'E' || p[i] == u'e') && (p[i + 1] == u'+' || p[i + 1] == u'-')) {
            e = i;
            break;
        }
    }
    if (e >= 0) {
        r.scientific = true;
        r.mantissa = p.left(e);
        r.expAlwaysSign = p[e + 1] == u'+';
        int i = e + 2;
        while (i < p.size() && p[i] == u'0') {
            ++r.expDigits;
            ++i;
        }
        r.expTail = p.mid(i);
    } else {
        r.mantissa = p;
    }
    r.pointAt = r.mantissa.indexOf(u'.');
    for (int i = 0; i < r.mantissa.size(); ++i) {
        const QChar c = r.mantissa[i];
        if (c == u'0' || c == u'#') {
            if (r.pointAt >= 0 && i > r.pointAt)
                ++r.fracPlaces;
            else
                ++r.intPlaces;
        }
    }
    return r;
}

// Lays integer and fraction digits into the mantissa pattern, copying its literals.
QString Layout(const Pattern& p, const std::string& intDigits, const std::string& fracDigits, QChar sep) {
    QString out;
    const int end = p.pointAt >= 0 ? p.pointAt : int(p.mantissa.size());
    // Integer part: placeholders take digits from the right; surplus digits go before the first.
    int extra = int(intDigits.size()) - p.intPlaces;
    int next = 0;
    bool first = true;
    for (int i = 0; i < end; ++i) {
        const QChar c = p.mantissa[i];
        if (c == u'0' || c == u'#') {
            if (first) {
                for (; extra > 0; --extra)
                    out += QChar(intDigits[next++]);
                first = false;
            }
            if (extra < 0) {
                ++extra; // fewer digits than places: '0' shows a zero, '#' nothing
                if (c == u'0')
                    out += u'0';
            } else {
                out += QChar(intDigits[next++]);
            }
        } else {
            out += c;
        }
    }
    if (first) // a pattern without integer placeholders still shows the integer digits
        for (char d : intDigits)
            if (d != '0' || intDigits.size() > 1)
                out += QChar(d);
    if (p.pointAt >= 0) {
        if (p.fracPlaces > 0)
            out += sep;
        int k = 0;
        for (int i = p.pointAt + 1; i < p.mantissa.size(); ++i) {
            const QChar c = p.mantissa[i];
            if (c == u'0' || c == u'#')
                out += QChar(fracDigits[k++]);
            else
                out += c;
        }
    }
    return out;
}

} // namespace

QString FormatFloat(const QString& pattern, double value) {
    return FormatFloat(pattern, value, DecimalSeparator());
}

QString FormatFloat(const QString& pattern, double value, QChar sep) {
    if (!std::isfinite(value))
        return NonFinite(value);
    const Pattern p = ParsePattern(pattern);
    const Digits ds = DecimalDigits(value);
    std::string intDigits, fracDigits;
    bool nonZero = false;
    int shownExp = 0;
    if (p.scientific) {
        const int places = std::max(p.intPlaces, 1);
        int exp10 = 0;
        std::string s = RoundDigits(ds, places + p.fracPlaces, exp10);
        if (s.empty()) {
            s.assign(places + p.fracPlaces, '0');
            shownExp = 0;
        } else {
            shownExp = exp10 - (places - 1);
            nonZero = true;
        }
        intDigits = s.substr(0, places);
        fracDigits = s.substr(places);
    } else {
        int exp10 = 0;
        std::string s = RoundDigits(ds, ds.exp10 + 1 + p.fracPlaces, exp10);
        // s holds the digits from 10^exp10 down to 10^-fracPlaces.
        const int intCount = exp10 + 1;
        if (s.empty() || intCount <= 0) {
            // Only fraction digits (or nothing) remain.
            std::string frac(p.fracPlaces, '0');
            if (!s.empty()) {
                const int lead = -intCount; // zeros between the point and the first digit
                for (size_t i = 0; i < s.size() && lead + int(i) < p.fracPlaces; ++i)
                    frac[lead + i] = s[i];
            }
            intDigits = "0";
            fracDigits = frac;
        } else {
            intDigits = s.substr(0, intCount);
            fracDigits = s.substr(intCount);
        }
        fracDigits.resize(p.fracPlaces, '0');
        // A pattern with integer places pads with zeros; keep one digit at least.
        while (intDigits.size() > 1 && intDigits[0] == '0')
            intDigits.erase(0, 1);
        if (int(intDigits.size()) < p.intPlaces)
            intDigits.insert(0, p.intPlaces - intDigits.size(), '0');
        else if (p.intPlaces == 0 && intDigits == "0")
            intDigits.clear();
    }
    for (char c : intDigits + fracDigits)
        nonZero |= (c != '0');
    QString out = Layout(p, intDigits, fracDigits, sep);
    if (p.scientific) {
        out += u'E';
        if (shownExp < 0)
            out += u'-';
        else if (p.expAlwaysSign)
            out += u'+';
        out += QString::number(std::abs(shownExp)).rightJustified(p.expDigits, u'0');
        out += p.expTail;
    }
    if (value < 0 && nonZero)
        out.prepend(u'-');
    return out;
}

QString FormatGeneral(double value) {
    return FormatGeneral(value, DecimalSeparator());
}

QString FormatGeneral(double value, QChar sep) {
    if (!std::isfinite(value))
        return NonFinite(value);
    if (value == 0.0)
        return QStringLiteral("0");
    const Digits ds = DecimalDigits(value); // already rounded to 15 significant digits
    std::string d = ds.d;
    while (d.size() > 1 && d.back() == '0')
        d.pop_back();
    const int e = ds.exp10;
    QString out;
    if (value < 0)
        out += u'-';
    if (e >= -5 && e < 15) {
        if (e >= 0) {
            std::string ip = d.substr(0, std::min<size_t>(d.size(), e + 1));
            ip.append(std::max(0, e + 1 - int(d.size())), '0');
            out += QString::fromLatin1(ip.c_str());
            if (int(d.size()) > e + 1) {
                out += sep;
                out += QString::fromLatin1(d.substr(e + 1).c_str());
            }
        } else {
            out += u'0';
            out += sep;
            out += QString(-e - 1, u'0');
            out += QString::fromLatin1(d.c_str());
        }
    } else {
        out += QChar(d[0]);
        if (d.size() > 1) {
            out += sep;
            out += QString::fromLatin1(d.substr(1).c_str());
        }
        out += u'E';
        out += QString::number(e);
    }
    return out;
}

bool TryParseRegional(const QString& text, double& value) {
    return TryParseRegional(text, value, DecimalSeparator());
}

bool TryParseRegional(const QString& text, double& value, QChar sep) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    QByteArray plain;
    plain.reserve(t.size());
    int i = 0;
    const auto digits = [&]() {
        int n = 0;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
            plain += char(t[i].unicode());
            ++i;
            ++n;
        }
        return n;
    };
    if (t[i] == u'+' || t[i] == u'-')
        plain += char(t[i++].unicode());
    int mant = digits();
    if (i < t.size() && (t[i] == sep || t[i] == u'.')) {
        plain += '.';
        ++i;
        mant += digits();
    }
    if (mant == 0)
        return false;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        plain += 'e';
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            plain += char(t[i++].unicode());
        if (digits() == 0)
            return false;
    }
    if (i != t.size())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(QString::fromLatin1(plain), &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

double ParseRegionalOr(const QString& text, double fallback) {
    double v = 0;
    return TryParseRegional(text, v) ? v : fallback;
}
