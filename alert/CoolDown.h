// CoolDown: after a side's ON actions ran, further ONs of that side hold their actions back for a while,
// so that a rate hovering at a limit does not flood the user with mails, notifications and programs.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace quorvane {

using AlarmTime = std::chrono::system_clock::time_point;

// The longest cool-down the dialog offers; a larger value from a file counts as this, a negative one as 0.
inline constexpr std::int32_t MaxCoolDownMinutes = 1440;

// One side's cool-down. Not stored: like the side's alarm state, it starts empty at every run.
struct TCoolDown {
    std::optional<AlarmTime> OnActions; // when the side's ON actions last ran
    bool Held = false;                  // the side's last ON was held back and nothing has answered it

    bool operator==(const TCoolDown&) const = default;
};

enum class CoolDownStep {
    Act,     // run this evaluation's actions as without a cool-down
    Hold,    // run none: an ON within the cool-down, or the OFF that ends such an ON
    Release, // the cool-down is over, the side still on after a held ON: run the ON actions now
};

// Decides one evaluation of a side whose output is on, from its state before (old) and now (hit), and
// updates side. minutes is the slot's COOLDOWN; with 0 every evaluation gives Act. A clock set back
// before the last ON actions ends the cool-down: a missed alarm costs more than one mail too many.
CoolDownStep StepCoolDown(TCoolDown& side, std::int32_t minutes, bool hit, bool old, AlarmTime now);

// The end of the cool-down begun by the side's last ON actions (the time itself when none ran).
AlarmTime CoolDownEnd(const TCoolDown& side, std::int32_t minutes, AlarmTime now);

} // namespace quorvane
