#include "app/toolkit/SpinEdit.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

#include "util/Numbers.h"

namespace quorvane {

TSpinEdit::TSpinEdit(QWidget* parent, const QString& name, int minValue, int maxValue)
    : QAbstractSpinBox(parent), min_(minValue), max_(maxValue) {
    setObjectName(name);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    SetValue(minValue);
}

int TSpinEdit::Clamp(long long value) const {
    return static_cast<int>(std::clamp<long long>(value, min_, max_));
}

int TSpinEdit::Value() const {
    bool ok = false;
    const qlonglong value = Text().trimmed().toLongLong(&ok);
    return ok ? Clamp(value) : min_;
}

void TSpinEdit::SetValue(int value) {
    lineEdit()->setText(QString::number(Clamp(value)));
}

QString TSpinEdit::Text() const {
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

void TSpinEdit::stepBy(int steps) {
    SetValue(Clamp(static_cast<long long>(Value()) + steps));
    selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
    return StepUpEnabled | StepDownEnabled;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && text[0].isPrint()) {
        const QChar c = text[0];
        const QString separator = QString::fromStdString(UserSeparators().decimal);
        if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && QString(c) != separator) {
            event->accept(); // dropped, as the field takes no other character from the keyboard
            return;
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    SetValue(Value());
    QAbstractSpinBox::focusOutEvent(event);
}

} // namespace quorvane
