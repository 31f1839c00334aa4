#include "app/toolkit/Controls.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "app/toolkit/Guard.h"

namespace quorvane {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const char* hint,
                        QRect geometry) {
    auto* b = new QPushButton(U(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    if (*hint)
        b->setToolTip(U(hint));
    if (geometry.isValid())
        b->setGeometry(geometry);
    return b;
}

void KeepEnterForFields(QWidget* dialog) {
    for (auto* b : dialog->findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
}

TLabel::TLabel(QWidget* parent, const QString& name) : QLabel(parent) {
    setObjectName(name);
    SetFontColor(ClBlack);
}

void TLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!OnDblClick) {
        QLabel::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    RunGuarded([this] { OnDblClick(this); });
}

void TLabel::SetFontColor(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

QColor TLabel::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TLabel::SetText(const QString& text) {
    setText(text);
    Fit();
}

void TLabel::PlaceLeft(int left, int top) {
    rightAligned_ = false;
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    anchor_ = left;
    move(left, top);
    Fit();
}

void TLabel::PlaceRight(int right, int top, int minWidth) {
    rightAligned_ = true;
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    anchor_ = right;
    minWidth_ = minWidth;
    move(right - minWidth, top);
    Fit();
}

void TLabel::KeepRightOf(const QWidget* neighbour) {
    neighbour_ = neighbour;
    designFont_ = font();
    Fit();
}

void TLabel::Fit() {
    if (rightAligned_ && neighbour_) {
        const int centre = y() + height() / 2;
        const int room = std::max(minWidth_, anchor_ - (neighbour_->geometry().right() + 1));
        QFont smaller = designFont_;
        setFont(smaller);
        while (sizeHint().width() > room && smaller.pixelSize() > designFont_.pixelSize() / 2) {
            smaller.setPixelSize(smaller.pixelSize() - 1);
            setFont(smaller);
        }
        const QSize hint = sizeHint();
        const int w = std::max(minWidth_, hint.width());
        setGeometry(anchor_ - w, centre - hint.height() / 2, w, hint.height());
        return;
    }
    const QSize hint = sizeHint();
    if (rightAligned_) {
        const int w = std::max(minWidth_, hint.width());
        setGeometry(anchor_ - w, y(), w, hint.height());
    } else {
        resize(hint);
    }
}

TCheckBox::TCheckBox(QWidget* parent, const QString& name, const QString& text) : QCheckBox(text, parent) {
    setObjectName(name);
    connect(this, &QCheckBox::toggled, this, [this](bool) {
        if (OnClick)
            RunGuarded([this] { OnClick(this); });
    });
}

TShape::TShape(QWidget* parent, const QString& name, Kind kind) : QWidget(parent), kind_(kind) {
    setObjectName(name);
}

void TShape::SetBrushColor(const QColor& colour) {
    if (colour == brush_)
        return;
    brush_ = colour;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ClBlack, 1));
    p.setBrush(brush_);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind_ == Kind::Circle)
        p.drawEllipse(r);
    else
        p.drawRoundedRect(r, 3, 3);
}

void TShape::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (OnMouseDown)
        RunGuarded([this] { OnMouseDown(this); });
}

void TShape::contextMenuEvent(QContextMenuEvent* event) {
    // A right click on an indicator opens its dialog; the window's menu would only cover it.
    if (OnMouseDown)
        event->accept();
    else
        event->ignore();
}

} // namespace quorvane
