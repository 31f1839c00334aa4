// TSpinEdit: a whole-number field with up and down buttons, bounded only when it loses the focus.
#pragma once

#include <QAbstractSpinBox>

namespace quorvane {

// Typing takes digits, "+", "-" and the locale's decimal separator; pasting takes any text. The value is
// the text read as a whole number, the lowest bound when it is not one, and always within the bounds.
// Arrows and the buttons step by 1; leaving the field replaces its text by the value.
class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    TSpinEdit(QWidget* parent, const QString& name, int minValue, int maxValue);

    int Value() const;
    void SetValue(int value);
    QString Text() const;
    void SetText(const QString& text); // as typed or pasted: not bounded until the field is left

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Clamp(long long value) const;

    int min_;
    int max_;
};

} // namespace quorvane
