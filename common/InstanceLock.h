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

    // The folder of the lock files: $XDG_RUNTIME_DIR when only this user can write
    // it, else zelvor/ in the user's cache folder; empty when neither is usable.
    static std::string LockDirectory();
    // A real folder (no link) of this user that nobody else can write.
    static bool IsPrivateDirectory(const std::string& dir);

private:
    int m_fd = -1;
};
