#include "app/TRtDoubleEdit.h"

#include "common/NumberFormat.h"

#include <QKeyEvent>
#include <QToolTip>
#include <cmath>

namespace {
// Text on its way to a number: nothing is wrong yet.
bool Unfinished(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() || t == u'-' || t == u'+' || t.endsWith(u'e', Qt::CaseInsensitive) ||
           ((t.endsWith(u'-') || t.endsWith(u'+')) && t.size() >= 2 && t.at(t.size() - 2).toLower() == u'e');
}
} // namespace

TRtDoubleEdit::TRtDoubleEdit(QWidget* parent, double value) : QLineEdit(parent), fValue(value) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textEdited, this, &TRtDoubleEdit::TakeTyped);
    connect(this, &QLineEdit::editingFinished, this, &TRtDoubleEdit::ShowValue);
    QLineEdit::setText(Text(fValue));
    setToolTip(RangeText());
}

QString TRtDoubleEdit::RangeText() const {
    if (fLower < fUpper)
        return QStringLiteral("allowed: %1 to %2").arg(Text(fLower), Text(fUpper));
    return QStringLiteral("any number");
}

void TRtDoubleEdit::Mark(const QString& why) {
    fMarked = true;
    setStyleSheet(QStringLiteral("TRtDoubleEdit { border: 2px solid rgb(220, 0, 0); }"));
    setToolTip(why);
    if (hasFocus())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), why, this);
}

void TRtDoubleEdit::Unmark() {
    setToolTip(RangeText());
    if (!fMarked)
        return;
    fMarked = false;
    setStyleSheet(QString());
    QToolTip::hideText();
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
    const double normal = Normalize(v);
    fValue = Clamp(normal);
    QLineEdit::setText(Text(fValue));
    if (fValue != normal)
        Mark(QStringLiteral("%1 was limited to %2 (%3)").arg(Text(normal), Text(fValue), RangeText()));
    else
        Unmark();
    emit valueChanged(fValue);
}

void TRtDoubleEdit::SetLimits(double lower, double upper) {
    fLower = lower;
    fUpper = upper;
    if (!fMarked)
        setToolTip(RangeText());
    const double clamped = Clamp(fValue);
    if (clamped != fValue)
        SetValue(clamped);
}

void TRtDoubleEdit::TakeTyped(const QString& text) {
    // The typed text stays as it is while typing; a number within the range is taken at once.
    double v = 0;
    if (!TryParseRegional(text, v)) {
        if (Unfinished(text))
            Unmark();
        else
            Mark(QStringLiteral("\"%1\" is not a number; the box keeps %2 (%3)")
                     .arg(text.trimmed(), Text(fValue), RangeText()));
        return;
    }
    if (Normalize(v) != v) {
        Mark(QStringLiteral("%1 is not a whole number; the box keeps %2 (%3)")
                 .arg(text.trimmed(), Text(fValue), RangeText()));
        return;
    }
    if (Clamp(v) != v) {
        Mark(QStringLiteral("%1 is outside the range; the box keeps %2 (%3)")
                 .arg(text.trimmed(), Text(fValue), RangeText()));
        return;
    }
    Unmark();
    fValue = v;
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
