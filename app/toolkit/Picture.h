// A fixed-size picture the program draws on, one pixel wide lines, no smoothing of shapes.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <vector>

namespace quorvane {

class TImage : public QWidget {
    Q_OBJECT
public:
    TImage(QWidget* parent, const QString& name, QSize size);

    // Fills x left..right, y top..bottom, the right and bottom edges excluded.
    void FillRect(int left, int top, int right, int bottom, const QColor& colour);
    void Line(QPoint from, QPoint to, const QColor& colour);
    void Polyline(const std::vector<QPoint>& points, const QColor& colour);
    // Black text on a white box whose top-left corner is at; the text also joins the picture's
    // accessible description, so that a screen reader can read what the picture says.
    void TextOut(QPoint at, const QString& text);
    // Starts a new picture: white all over, no texts.
    void Clear();

    const QImage& Picture() const { return picture_; }
    const QStringList& Texts() const { return texts_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QStringList texts_;
};

} // namespace quorvane
