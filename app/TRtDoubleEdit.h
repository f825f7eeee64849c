#pragma once
// A numeric edit box. It holds a value and an optional range: when the lower limit is below the
// upper one, every value set into it, by the operator or by the program, is first limited to the
// range; otherwise it takes any value. Setting a value, also from the program, emits valueChanged.
// It shows and accepts the regional decimal separator (a point is accepted too); typed text that
// is not a number is not taken and the box returns to its value when editing ends.
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

signals:
    void valueChanged(double value);
    // A key was released in the box (after the value of the typed text was taken).
    void keyReleased();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    virtual double Normalize(double v) const;
    virtual QString Text(double v) const;

private:
    double Clamp(double v) const;
    void TakeTyped(const QString& text);
    void ShowValue();
    double fValue = 0.0;
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
