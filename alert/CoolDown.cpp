#include "alert/CoolDown.h"

#include <algorithm>

namespace quorvane {

namespace {

std::chrono::minutes Length(std::int32_t minutes) {
    return std::chrono::minutes(std::clamp(minutes, 0, MaxCoolDownMinutes));
}

bool Running(const TCoolDown& side, std::int32_t minutes, AlarmTime now) {
    return side.OnActions && *side.OnActions <= now && now < *side.OnActions + Length(minutes);
}

} // namespace

CoolDownStep StepCoolDown(TCoolDown& side, std::int32_t minutes, bool hit, bool old, AlarmTime now) {
    if (hit && !old) {
        side.Held = Running(side, minutes, now);
        if (side.Held)
            return CoolDownStep::Hold;
        side.OnActions = now;
        return CoolDownStep::Act;
    }
    if (!hit && old) {
        // Every OFF a person receives answers an ON they received.
        const bool answersHeldOn = side.Held;
        side.Held = false;
        return answersHeldOn ? CoolDownStep::Hold : CoolDownStep::Act;
    }
    if (hit && side.Held && !Running(side, minutes, now)) {
        side.Held = false;
        side.OnActions = now;
        return CoolDownStep::Release;
    }
    return CoolDownStep::Act;
}

AlarmTime CoolDownEnd(const TCoolDown& side, std::int32_t minutes, AlarmTime now) {
    return side.OnActions ? *side.OnActions + Length(minutes) : now;
}

} // namespace quorvane
