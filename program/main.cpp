// Quorvane: watches reference exchange rates and raises alarms.
#include "program/Program.h"
#include "app/toolkit/Guard.h"

int main(int argc, char** argv) {
    quorvane::TApplication app(argc, argv);
    return quorvane::RunProgram(app);
}
