// Event handlers run guarded: an error that escapes one is shown in an error box and the program goes on.
#pragma once

#include <QApplication>

#include <functional>

namespace quorvane {

// Runs handler; an exception leaving it is reported with ShowError. Never throws.
void RunGuarded(const std::function<void()>& handler);

// The text shown for an exception that carries none of its own.
inline constexpr const char* UnknownErrorText = "予期しないエラーが発生しました。";

// The application object; an exception that leaves any event is reported instead of ending the program.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace quorvane
