// The program's start: desktop services into the core, the windows in their order, the event loop.
#pragma once

namespace quorvane {

class TApplication;

// Runs Quorvane until its main window closes; returns the process exit code.
int RunProgram(TApplication& app);

} // namespace quorvane
