#pragma once

#include "stylemaker/style/StyleSettings.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vessilo {

// The two manual-reset events of one Vessilo window: "preview" (the record may have
// changed) and "exit" (the preview thread is to end). Each window has its own pair,
// so closing one never stops another's preview.
class PreviewEvents {
public:
    enum class Signal { Exit, Preview };

    void SetPreview();
    void ResetPreview();
    void SetExit();
    void ResetExit();
    bool IsPreviewSet() const;
    bool IsExitSet() const;
    // Blocks until either is set; exit wins when both are.
    Signal Wait();
    // True when exit was set within the time.
    bool WaitExitFor(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_preview = false;
    bool m_exit = false;
};

// The document's record and the lock that every reader on another thread and every
// writer take.
struct GuardedSettings {
    std::mutex mutex;
    CStyleSettings settings;
    GuardedSettings() { settings.Reset(); }
};

struct PreviewThreadConfig {
    std::shared_ptr<PreviewEvents> events;
    std::shared_ptr<GuardedSettings> source;
    std::string htmlPath; // file system paths
    std::string cssPath;
    // Called on the preview thread after both files were written; the GUI side
    // posts the navigation to its own thread.
    std::function<void(const std::string& htmlPath)> navigate;
    std::chrono::milliseconds settle{250};
};

// The preview thread's body: renders on the first preview signal and on every
// signal after which the record differs from its private copy; returns on exit.
// Returns the number of pages rendered.
int PreviewThreadProc(const PreviewThreadConfig& config);

// Owns one running PreviewThreadProc.
class CPreviewThread {
public:
    explicit CPreviewThread(PreviewThreadConfig config);
    ~CPreviewThread();
    CPreviewThread(const CPreviewThread&) = delete;
    CPreviewThread& operator=(const CPreviewThread&) = delete;

    bool Start();
    // Sets exit, waits up to timeout for the thread, then resets exit. False when
    // the thread did not end in time; it is then left to finish on its own.
    bool Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    bool IsRunning() const { return m_thread.joinable(); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    PreviewThreadConfig m_config;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace vessilo
