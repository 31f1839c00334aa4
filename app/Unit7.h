// Unit7: the splash window shown once at start, with the program's picture and version.
#pragma once

#include <QDialog>
#include <QPixmap>

#include "app/toolkit/Timer.h"

class QLabel;

namespace quorvane {

inline constexpr int SplashWidth = 280;
inline constexpr int SplashHeight = 168;

class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);
    ~TForm7() override;

    // Shows the splash application-modal until its timer or the user closes it.
    int exec() override;

    // "105" shows as "Version 1.05", drawn onto the picture.
    void SetVersion(const QString& text);
    QString VersionText() const { return version_; }
    const QPixmap& Picture() const { return picture_; }

    void Timer1Timer();

    // Runs from creation; each tick ends a modal display, so the splash shows for at most one period.
    TTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void DrawPicture();

    QLabel* Image1;
    QPixmap picture_;
    QString version_;
};

// The program's picture without the version text.
QPixmap SplashArtwork();

extern TForm7* Form7;

} // namespace quorvane
