#include "experiment/StepProgram.h"

#include "common/Locale.h"
#include "common/NumberFormat.h"

#include <algorithm>

namespace StepProgram {

namespace {
// The ranges of the setpoint boxes: -log(pO2) 0.678 to 16 and -1100 to 1100 mV. A setpoint of 0
// is allowed too: the PPS ramps of the Debug page write it.
constexpr double kLowestSetpoint = -16;
constexpr double kHighestSetpoint = 0;
constexpr double kMillivoltLimit = 1100;

bool ReadNumber(const QString& text, double& value) {
    return TryParseRegional(text, value) || TryParseRegional(text, value, u',');
}

// The row with every decimal separator as a point, to compare layouts written under any format.
QString WithPoints(QString row) {
    return row.replace(u',', u'.').replace(DecimalSeparator(), u'.');
}
} // namespace

QString FormatRow(int label, double log10pO2, double millivolts) {
    QString setpoint = FormatGeneral(log10pO2);
    setpoint = setpoint.length() > 6 ? setpoint.left(6) : setpoint.leftJustified(6, u' ');
    return FormatFloat(QStringLiteral("0000"), label) + QStringLiteral("   ") + setpoint + QString(6, u' ') +
           FormatFloat(QStringLiteral("0"), millivolts);
}

bool Setpoint(const QString& row, double& log10pO2) {
    return TryParseRegional(row.mid(7, 6), log10pO2);
}

bool Millivolts(const QString& row, double& millivolts, int maxChars) {
    return TryParseRegional(row.mid(19, maxChars), millivolts);
}

std::optional<QString> ReadRow(const QString& row, QString& problem) {
    const int blank = row.indexOf(u' ');
    const QString label = blank < 0 ? row : row.left(blank);
    const bool digits =
        !label.isEmpty() && label.size() <= 9 &&
        std::all_of(label.begin(), label.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits) {
        problem = QStringLiteral("the step label is not a number");
        return std::nullopt;
    }
    double setpoint = 0, mV = 0;
    if (!ReadNumber(row.mid(7, 6), setpoint)) {
        problem = QStringLiteral("no log(pO2) value at characters 8 to 13");
        return std::nullopt;
    }
    if (!ReadNumber(row.mid(19), mV)) {
        problem = QStringLiteral("no mV value from character 20");
        return std::nullopt;
    }
    if (setpoint < kLowestSetpoint || setpoint > kHighestSetpoint) {
        problem = QStringLiteral("log(pO2) is outside -16 to 0");
        return std::nullopt;
    }
    if (mV < -kMillivoltLimit || mV > kMillivoltLimit) {
        problem = QStringLiteral("mV is outside -1100 to 1100");
        return std::nullopt;
    }
    // Only a row in the fixed layout reads back as what it shows: the tick reads fixed columns.
    const QString normal = FormatRow(label.toInt(), setpoint, mV);
    if (WithPoints(row) != WithPoints(normal)) {
        problem = QStringLiteral("the fields are not in their columns (label, log(pO2) from character 8, "
                                 "whole mV from character 20)");
        return std::nullopt;
    }
    return normal;
}

QStringList DefaultRows() {
    return {QStringLiteral("0001   -4          45"),  QStringLiteral("0002   -5          115"),
            QStringLiteral("0003   -6          227"), QStringLiteral("0004   -7          361"),
            QStringLiteral("0005   -8          387"), QStringLiteral("0006   -9          420"),
            QStringLiteral("0007   -10         466"), QStringLiteral("0008   -11         525")};
}

QStringList OverrideRows(bool up) {
    QStringList rows;
    for (int i = 0; i <= 20; ++i)
        rows << FormatRow(i, 0, up ? 50.0 * i : 1000.0 - 50.0 * i);
    return rows;
}

} // namespace StepProgram
