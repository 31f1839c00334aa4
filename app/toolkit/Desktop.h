// The desktop services the core uses, made with Qt: message boxes, the sound player, the program font.
#pragma once

#include <QFont>
#include <QString>

#include <memory>

#include "alert/Sound.h"
#include "util/Util.h"

class QApplication;
class QWidget;
class QAudioOutput;
class QMediaPlayer;

namespace quorvane {

inline constexpr const char* ErrorCaption = "エラー";
inline constexpr const char* InfoCaption = "情報";

// Modal message boxes with one OK button, parented to the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    void Error(const std::string& text) override;
    void Info(const std::string& text) override;
};

// Plays sound files; a new sound replaces the one playing. A missing file or audio device is ignored.
class QtSoundPlayer : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void Play(const std::string& path) override;

private:
    // Made on the first sound, so that a program that never sounds an alarm never opens the audio device.
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
};

// Shows a window created once at start without blocking, in front of the others.
void ShowModeless(QWidget* window);

// A "|"-separated filter of descriptions and patterns ("音声|*.wav|すべて|*.*") in Qt's form
// ("音声 (*.wav);;すべて (*.*)"); several patterns of one entry are separated by ";". A description that
// already ends with its patterns in brackets keeps just those.
QString FileDialogFilter(const QString& filter);
// The open-file dialog: the chosen full path, or empty on cancel.
std::string ChooseFile(QWidget* parent, const std::string& filter);

// Group box captions drawn on the frame line, as the dialogs were designed: children placed 16 pixels
// down sit below the caption.
void UseCaptionOnFrame(QWidget* window);

// The family of the program font: "ＭＳ Ｐゴシック" when installed, else an installed Japanese UI font.
QString ProgramFontFamily();
// The program font at the given pixel size.
QFont ProgramFont(int pixelSize);
// Makes the program font the application's default.
void ApplyProgramFont(QApplication& app);

} // namespace quorvane
