#include "app/toolkit/Guard.h"

#include <exception>

#include "util/Util.h"

namespace quorvane {

namespace {
// Shows the exception being handled; must be called from a catch block. Never throws.
void ReportCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            ShowError(e.what());
        } catch (...) {
            ShowError(UnknownErrorText);
        }
    } catch (...) {
        // The error box itself failed; there is nobody left to tell.
    }
}
} // namespace

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        ReportCurrentException();
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

} // namespace quorvane
