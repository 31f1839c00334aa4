#include "app/toolkit/Picture.h"

#include <QPainter>

namespace quorvane {

namespace {
QPen OnePixel(const QColor& colour) {
    QPen pen(colour);
    pen.setWidth(1);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}
} // namespace

TImage::TImage(QWidget* parent, const QString& name, QSize size)
    : QWidget(parent), picture_(size, QImage::Format_RGB32) {
    setObjectName(name);
    setFixedSize(size);
    picture_.fill(Qt::white);
}

void TImage::FillRect(int left, int top, int right, int bottom, const QColor& colour) {
    if (right <= left || bottom <= top)
        return;
    QPainter p(&picture_);
    p.fillRect(QRect(left, top, right - left, bottom - top), colour);
    update();
}

void TImage::Line(QPoint from, QPoint to, const QColor& colour) {
    QPainter p(&picture_);
    p.setPen(OnePixel(colour));
    p.drawLine(from, to);
    update();
}

void TImage::Polyline(const std::vector<QPoint>& points, const QColor& colour) {
    QPainter p(&picture_);
    p.setPen(OnePixel(colour));
    p.drawPolyline(points.data(), static_cast<int>(points.size()));
    update();
}

void TImage::TextOut(QPoint at, const QString& text) {
    QPainter p(&picture_);
    p.setFont(font());
    const QFontMetrics metrics(font());
    const QRect box(at, QSize(metrics.horizontalAdvance(text), metrics.height()));
    p.fillRect(box, Qt::white);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    texts_ << text;
    setAccessibleDescription(texts_.join(QLatin1Char('\n')));
    update();
}

void TImage::Clear() {
    picture_.fill(Qt::white);
    texts_.clear();
    setAccessibleDescription({});
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

} // namespace quorvane
