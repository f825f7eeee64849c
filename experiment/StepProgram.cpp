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

} // namespace StepProgram

TStep TStep::Make(int label, double log10pO2, double millivolts) {
    TStep s;
    s.fLabel = label;
    s.fText = StepProgram::FormatRow(label, log10pO2, millivolts);
    // What the row shows is what runs: the setpoint field as cut to six characters, the mV field
    // rounded and read from at most six characters.
    if (!StepProgram::Setpoint(s.fText, s.fLog10pO2))
        s.fLog10pO2 = log10pO2;
    if (!StepProgram::Millivolts(s.fText, s.fMilliVolts, 6))
        s.fMilliVolts = millivolts;
    return s;
}

namespace StepProgram {

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

std::optional<TStep> ReadRow(const QString& row, QString& problem) {
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
    const TStep step = TStep::Make(label.toInt(), setpoint, mV);
    if (WithPoints(row) != WithPoints(step.Text())) {
        problem = QStringLiteral("the fields are not in their columns (label, log(pO2) from character 8, "
                                 "whole mV from character 20)");
        return std::nullopt;
    }
    return step;
}

QStringList Texts(const QList<TStep>& steps) {
    QStringList rows;
    rows.reserve(steps.size());
    for (const TStep& s : steps)
        rows << s.Text();
    return rows;
}

QList<TStep> DefaultSteps() {
    return {TStep::Make(1, -4, 45),   TStep::Make(2, -5, 115), TStep::Make(3, -6, 227),
            TStep::Make(4, -7, 361),  TStep::Make(5, -8, 387), TStep::Make(6, -9, 420),
            TStep::Make(7, -10, 466), TStep::Make(8, -11, 525)};
}

QStringList DefaultRows() {
    return Texts(DefaultSteps());
}

QList<TStep> OverrideSteps(bool up) {
    QList<TStep> steps;
    for (int i = 0; i <= 20; ++i)
        steps << TStep::Make(i, 0, up ? 50.0 * i : 1000.0 - 50.0 * i);
    return steps;
}

QStringList OverrideRows(bool up) {
    return Texts(OverrideSteps(up));
}

} // namespace StepProgram
