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
    connect(this, &QLineEdit::textEdited, this, &TRtDoubleEdit::Typed);
    // Enter, or leaving the box with changed text.
    connect(this, &QLineEdit::editingFinished, this, &TRtDoubleEdit::Commit);
    QLineEdit::setText(Text(fValue));
    setToolTip(RangeText());
}

QString TRtDoubleEdit::RangeText() const {
    if (fLower < fUpper)
        return QStringLiteral("allowed: %1 to %2").arg(Text(fLower), Text(fUpper));
    return QStringLiteral("any number");
}

void TRtDoubleEdit::Restyle() {
    QString style;
    if (fMarked)
        style += QStringLiteral("border: 2px solid rgb(220, 0, 0);");
    if (fPending)
        style += QStringLiteral("background: rgb(255, 244, 200); font-style: italic;");
    setStyleSheet(style.isEmpty() ? QString() : QStringLiteral("TRtDoubleEdit { %1 }").arg(style));
}

void TRtDoubleEdit::Mark(const QString& why) {
    fMarked = true;
    Restyle();
    setToolTip(why);
    if (hasFocus())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), why, this);
}

void TRtDoubleEdit::Unmark() {
    setToolTip(fPending ? QStringLiteral("not applied yet: Enter applies, Esc restores %1 (%2)")
                              .arg(Text(fValue), RangeText())
                        : RangeText());
    if (!fMarked)
        return;
    fMarked = false;
    Restyle();
    QToolTip::hideText();
}

void TRtDoubleEdit::SetPending(bool pending) {
    if (fPending == pending)
        return;
    fPending = pending;
    Restyle();
    if (!fMarked)
        Unmark(); // the tooltip says whether the text is applied
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
    SetPending(false);
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

bool TRtDoubleEdit::Acceptable(const QString& text, double& v) {
    v = 0;
    if (!TryParseRegional(text, v)) {
        if (Unfinished(text))
            Unmark();
        else
            Mark(QStringLiteral("\"%1\" is not a number; the box keeps %2 (%3)")
                     .arg(text.trimmed(), Text(fValue), RangeText()));
        return false;
    }
    if (Normalize(v) != v) {
        Mark(QStringLiteral("%1 is not a whole number; the box keeps %2 (%3)")
                 .arg(text.trimmed(), Text(fValue), RangeText()));
        return false;
    }
    if (Clamp(v) != v) {
        Mark(QStringLiteral("%1 is outside the range; the box keeps %2 (%3)")
                 .arg(text.trimmed(), Text(fValue), RangeText()));
        return false;
    }
    Unmark();
    return true;
}

void TRtDoubleEdit::Typed(const QString& text) {
    // The typed text stays as it is while typing and is checked as it grows, so a refusal shows at
    // once; the value changes only when the entry is committed (or at once for a box that takes
    // numbers as typed).
    double v = 0;
    const bool ok = Acceptable(text, v);
    if (fTakesAsTyped) {
        if (ok) {
            fValue = v;
            emit valueChanged(fValue);
        }
        return;
    }
    SetPending(text != Text(fValue));
    if (!fMarked)
        Unmark(); // the pending tooltip
}

void TRtDoubleEdit::Commit() {
    if (fTakesAsTyped || !fPending) {
        ShowValue();
        return;
    }
    double v = 0;
    const QString typed = text();
    SetPending(false);
    if (Acceptable(typed, v)) {
        fValue = v;
        ShowValue();
        emit valueChanged(fValue);
        return;
    }
    if (!fMarked) // unfinished text ("", "-", "1e"): refused all the same
        Mark(QStringLiteral("\"%1\" is not a number; the box keeps %2 (%3)")
                 .arg(typed.trimmed(), Text(fValue), RangeText()));
    ShowValue();
}

void TRtDoubleEdit::ShowValue() {
    QLineEdit::setText(Text(fValue));
}

void TRtDoubleEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && fPending) {
        // Back to the applied value; nothing was taken.
        SetPending(false);
        ShowValue();
        Unmark();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
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
