#include "app/toolkit/Guard.h"

#include <exception>

#include "util/Util.h"

namespace quorvane {

namespace {
void ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError(UnknownErrorText);
    }
}
} // namespace

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        try {
            ReportCurrentException();
        } catch (...) {
            // The error box itself failed; there is nobody left to tell.
        }
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace quorvane
