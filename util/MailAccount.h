// The addresses of outgoing mail, shared by the mail module and the alarms that send through it.
#pragma once

#include <string>

namespace quorvane {

struct TMailAccount {
    std::string From;
    std::string To;
    std::string CC;
    std::string BCC;
};

} // namespace quorvane
