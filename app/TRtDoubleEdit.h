#pragma once
// A numeric edit box. It holds a value and an optional range: when the lower limit is below the
// upper one, every value set into it, by the operator or by the program, is first limited to the
// range; otherwise it takes any value. Setting a value, also from the program, emits valueChanged.
// It shows and accepts the regional decimal separator (a point is accepted too).
//
// What the operator types takes effect when he means it: on Enter or on leaving the box. While he
// types, the box shows that its text is not applied yet (a tinted background and a tooltip) and its
// value stays the applied one, so a pump never runs on an entry on its way ("1" on the way to
// "10"); Esc puts the applied value back. A box made with SetTakesAsTyped(true) takes each number
// as it is typed instead (a test value whose answer follows the keys).
//
// The box tells what it did not take: typed text that is not a number (or not a whole number in
// the integer box), or a typed value outside the range, leaves the value as it was and marks the
// box with a red frame and a tooltip that names the allowed range; a value the program set that
// had to be limited is marked the same way. The mark goes with the next value taken as it is.
// When editing ends the box shows its value again.
#include <QLineEdit>

class TRtDoubleEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TRtDoubleEdit(QWidget* parent = nullptr, double value = 0.0);

    double Value() const { return fValue; }
    void SetValue(double v);
    void SetLimits(double lower, double upper);
    double LowerLimit() const { return fLower; }
    double UpperLimit() const { return fUpper; }
    // True while the box shows that it refused or limited a value; the tooltip says why.
    bool Marked() const { return fMarked; }
    // "allowed: -5 to 5", or "any number" for a box without a range.
    QString RangeText() const;
    // True while the box shows typed text that is not applied yet.
    bool Pending() const { return fPending; }
    // Take every number as it is typed, not on Enter (for boxes the run does not read).
    void SetTakesAsTyped(bool asTyped) { fTakesAsTyped = asTyped; }

signals:
    void valueChanged(double value);
    // A key was released in the box (after the value of the typed text was taken).
    void keyReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    virtual double Normalize(double v) const;
    virtual QString Text(double v) const;

private:
    double Clamp(double v) const;
    void Typed(const QString& text);
    // Checks typed text; true with the number when it may be taken, else marks the box.
    bool Acceptable(const QString& text, double& v);
    void Commit();
    void SetPending(bool pending);
    void Restyle();
    void ShowValue();
    void Mark(const QString& why);
    void Unmark();
    double fValue = 0.0;
    bool fMarked = false;
    bool fPending = false;
    bool fTakesAsTyped = false;
    double fLower = 0.0;
    double fUpper = 0.0;
};

// The integer kind of the numeric edit box.
class TRtIntegerEdit : public TRtDoubleEdit {
    Q_OBJECT
public:
    explicit TRtIntegerEdit(QWidget* parent = nullptr, int value = 0);
    int IntValue() const { return int(Value()); }

protected:
    double Normalize(double v) const override;
    QString Text(double v) const override;
};
