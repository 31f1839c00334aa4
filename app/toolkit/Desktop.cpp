#include "app/toolkit/Desktop.h"

#include <QApplication>
#include <QAudioOutput>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QUrl>

namespace quorvane {

namespace {
void ShowBox(QMessageBox::Icon icon, const char* caption, const std::string& text) {
    QMessageBox box(icon, QString::fromUtf8(caption), QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setFont(QApplication::font());
    box.exec();
}
} // namespace

void QtMessageBoxes::Error(const std::string& text) {
    ShowBox(QMessageBox::Critical, ErrorCaption, text);
}

void QtMessageBoxes::Info(const std::string& text) {
    ShowBox(QMessageBox::Information, InfoCaption, text);
}

QtSoundPlayer::QtSoundPlayer() = default;
QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::Play(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return;
    if (!player_) {
        output_ = std::make_unique<QAudioOutput>();
        player_ = std::make_unique<QMediaPlayer>();
        player_->setAudioOutput(output_.get());
    }
    player_->stop();
    player_->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    player_->play();
}

void ShowModeless(QWidget* window) {
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

QString FileDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString shown = QStringLiteral("(") + patterns.simplified() + QLatin1Char(')');
        entries << (parts[i].endsWith(shown) ? parts[i] : parts[i] + QLatin1Char(' ') + shown);
    }
    return entries.join(QStringLiteral(";;"));
}

std::string ChooseFile(QWidget* parent, const std::string& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        FileDialogFilter(QString::fromStdString(filter)))
        .toStdString();
}

void UseCaptionOnFrame(QWidget* window) {
    window->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
}

QString ProgramFontFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : {"ＭＳ Ｐゴシック", "MS PGothic", "Noto Sans CJK JP", "IPAPGothic",
                                 "IPAexGothic", "Noto Sans JP", "VL PGothic", "TakaoPGothic"}) {
            const QString candidate = QString::fromUtf8(name);
            if (installed.contains(candidate, Qt::CaseInsensitive))
                return candidate;
        }
        return QString(); // let fontconfig pick; it still finds the Japanese glyphs
    }();
    return family;
}

QFont ProgramFont(int pixelSize) {
    QFont font = QApplication::font();
    const QString family = ProgramFontFamily();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPixelSize(pixelSize);
    return font;
}

void ApplyProgramFont(QApplication& app) {
    app.setFont(ProgramFont(12));
}

} // namespace quorvane
