#include "app/TRtDoubleEdit.h"

#include "common/NumberFormat.h"

#include <QKeyEvent>
#include <cmath>

TRtDoubleEdit::TRtDoubleEdit(QWidget* parent, double value) : QLineEdit(parent), fValue(value) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textEdited, this, &TRtDoubleEdit::TakeTyped);
    connect(this, &QLineEdit::editingFinished, this, &TRtDoubleEdit::ShowValue);
    QLineEdit::setText(Text(fValue));
}

double TRtDoubleEdit::Clamp(double v) const {
    if (fLower < fUpper)
        v = std::min(std::max(v, fLower), fUpper);
    return v;
}

double TRtDoubleEdit::Normalize(double v) const {
    return v;
}

QString TRtDoubleEdit::Text(double v) const {
    return FormatGeneral(v);
}

void TRtDoubleEdit::SetValue(double v) {
    if (!std::isfinite(v))
        return; // a box never holds a value that cannot be shown and read back
    fValue = Clamp(Normalize(v));
    QLineEdit::setText(Text(fValue));
    emit valueChanged(fValue);
}

void TRtDoubleEdit::SetLimits(double lower, double upper) {
    fLower = lower;
    fUpper = upper;
    const double clamped = Clamp(fValue);
    if (clamped != fValue)
        SetValue(clamped);
}

void TRtDoubleEdit::TakeTyped(const QString& text) {
    double v = 0;
    if (!TryParseRegional(text, v))
        return;
    // The typed text stays as it is while typing; the value is taken (limited) at once.
    fValue = Clamp(Normalize(v));
    emit valueChanged(fValue);
}

void TRtDoubleEdit::ShowValue() {
    QLineEdit::setText(Text(fValue));
}

void TRtDoubleEdit::keyReleaseEvent(QKeyEvent* event) {
    QLineEdit::keyReleaseEvent(event);
    emit keyReleased();
}

TRtIntegerEdit::TRtIntegerEdit(QWidget* parent, int value) : TRtDoubleEdit(parent, value) {}

double TRtIntegerEdit::Normalize(double v) const {
    return std::round(v);
}

QString TRtIntegerEdit::Text(double v) const {
    return QString::number(qint64(v));
}
