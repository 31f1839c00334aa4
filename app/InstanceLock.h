// The single-instance guard: an exclusive lock on a per-user file that the system drops when we die.
#pragma once

#include <string>

namespace quorvane {

inline constexpr const char* InstanceName = "BRELLIX QUORVANE";

class InstanceLock {
public:
    // Tries to take the lock at once; never waits. Without a path there is no guard.
    explicit InstanceLock(const std::string& path = DefaultPath());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Another process (or another lock object) holds the lock.
    bool HeldElsewhere() const { return heldElsewhere_; }

    // $XDG_RUNTIME_DIR/BRELLIX QUORVANE.lock; without a runtime folder of ours, the same name in
    // $XDG_CACHE_HOME/quorvane (default ~/.cache/quorvane), created 0700. A folder that another user
    // could write is never used, so no one else can take the lock first; empty when there is none.
    static std::string DefaultPath();

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
};

} // namespace quorvane
