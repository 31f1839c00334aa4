// The window tests run with the offscreen platform, a private lock folder and a fixed number format.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>

#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // CTest runs the cases as parallel processes; each needs its own instance lock.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    quorvane::TApplication app(argc, argv);
    quorvane::ApplyProgramFont(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
