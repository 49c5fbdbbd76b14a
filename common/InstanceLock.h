#pragma once

#include <string>

// Stands in for a named mutex: an advisory lock on a per-user file named after
// it, held for the life of the object. A second holder of the same name, in this
// or another process, is refused.
class InstanceLock {
public:
    enum class Result { Acquired, AlreadyHeld, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result Acquire(const std::string& name);
    void Release();
    bool Held() const { return m_fd >= 0; }

    // The folder of the lock files: $XDG_RUNTIME_DIR, else a per-user folder in /tmp.
    static std::string LockDirectory();

private:
    int m_fd = -1;
};
