// Unit7: the splash window shown once at start, with the program's picture and version.
#include "app/Unit7.h"

#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include "app/toolkit/Controls.h"

namespace quorvane {

TForm7* Form7 = nullptr;

TForm7::TForm7(QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint), Timer1(new TTimer(this)) {
    setObjectName(QStringLiteral("Form7"));
    Form7 = this;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(3);
    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(2, 2, 2, 2);
    Image1 = new QLabel(panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(SplashWidth, SplashHeight);
    inner->addWidget(Image1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    DrawPicture();
    Timer1->SetInterval(2000);
    Timer1->OnTimer = [this] { Timer1Timer(); };
    Timer1->SetEnabled(true);
}

TForm7::~TForm7() {
    if (Form7 == this)
        Form7 = nullptr;
}

// QDialog::exec would wait for ever when the timer closes the splash while it is still being shown (on a
// busy machine the overdue tick can run from inside show()); this loop runs only while the splash is up.
int TForm7::exec() {
    setWindowModality(Qt::ApplicationModal);
    setResult(0);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    return result();
}

void TForm7::SetVersion(const QString& text) {
    version_ = QStringLiteral("Version ") + QString::number(text.toDouble() / 100.0, 'f', 2);
    DrawPicture();
}

void TForm7::Timer1Timer() {
    if (isVisible())
        reject();
}

void TForm7::showEvent(QShowEvent* event) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

void TForm7::DrawPicture() {
    picture_ = SplashArtwork();
    if (!version_.isEmpty()) {
        QPainter p(&picture_);
        p.setFont(font());
        p.setPen(Qt::black);
        const QFontMetrics metrics(font());
        const int right = SplashWidth - 20;
        const int bottom = SplashHeight - 5;
        p.drawText(right - metrics.horizontalAdvance(version_), bottom - metrics.descent(), version_);
    }
    Image1->setPixmap(picture_);
}

QPixmap SplashArtwork() {
    QPixmap pixmap(SplashWidth, SplashHeight);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, SplashHeight);
    sky.setColorAt(0, QColor(236, 244, 252));
    sky.setColorAt(1, QColor(255, 255, 255));
    p.fillRect(pixmap.rect(), sky);

    // A faint grid and a rate line rising across it.
    p.setPen(QPen(QColor(210, 222, 236), 1));
    for (int x = 20; x < SplashWidth; x += 20)
        p.drawLine(x, 60, x, SplashHeight - 30);
    for (int y = 60; y <= SplashHeight - 30; y += 18)
        p.drawLine(10, y, SplashWidth - 10, y);
    QPainterPath line;
    const int points[][2] = {{10, 120}, {40, 112}, {70, 118}, {100, 98}, {130, 104},
                             {160, 84}, {190, 90}, {220, 72}, {250, 78}, {270, 64}};
    line.moveTo(points[0][0], points[0][1]);
    for (const auto& pt : points)
        line.lineTo(pt[0], pt[1]);
    p.setPen(QPen(QColor(0, 128, 0), 2.5));
    p.drawPath(line);
    p.setBrush(QColor(255, 0, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(270, 64), 4, 4);

    QFont title = QGuiApplication::font();
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(24, 54, 104));
    p.drawText(QRect(16, 6, SplashWidth - 32, 44), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quorvane"));
    QFont sub = QGuiApplication::font();
    sub.setPixelSize(12);
    p.setFont(sub);
    p.setPen(QColor(70, 90, 120));
    p.drawText(QRect(18, 52, SplashWidth - 36, 16), Qt::AlignLeft | Qt::AlignVCenter,
               U("為替参考レート監視"));
    return pixmap;
}

} // namespace quorvane
