#include "app/StepProgram.h"

#include "common/NumberFormat.h"

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
