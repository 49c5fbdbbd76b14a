#include "stylemaker/style/PreviewThread.h"

#include "stylemaker/style/CssWriter.h"
#include "stylemaker/style/PreviewPage.h"

namespace vessilo {

void PreviewEvents::SetPreview() {
    {
        std::lock_guard lock(m_mutex);
        m_preview = true;
    }
    m_changed.notify_all();
}

void PreviewEvents::ResetPreview() {
    std::lock_guard lock(m_mutex);
    m_preview = false;
}

void PreviewEvents::SetExit() {
    {
        std::lock_guard lock(m_mutex);
        m_exit = true;
    }
    m_changed.notify_all();
}

void PreviewEvents::ResetExit() {
    std::lock_guard lock(m_mutex);
    m_exit = false;
}

bool PreviewEvents::IsPreviewSet() const {
    std::lock_guard lock(m_mutex);
    return m_preview;
}

bool PreviewEvents::IsExitSet() const {
    std::lock_guard lock(m_mutex);
    return m_exit;
}

PreviewEvents::Signal PreviewEvents::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_exit || m_preview; });
    return m_exit ? Signal::Exit : Signal::Preview;
}

bool PreviewEvents::WaitExitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_exit; });
}

int PreviewThreadProc(const PreviewThreadConfig& config) {
    if (!config.events || !config.source)
        return 0;
    PreviewEvents& events = *config.events;
    CStyleSettings copy;
    copy.Reset();
    bool firstPass = true;
    int rendered = 0;
    while (events.Wait() == PreviewEvents::Signal::Preview) {
        // Reset before comparing: a change signalled while this pass runs sets the
        // event again and is rendered next, instead of being swallowed.
        events.ResetPreview();
        {
            std::lock_guard lock(config.source->mutex);
            if (!firstPass && copy.Equals(config.source->settings))
                continue; // nothing new: sleep until the next signal
            firstPass = false;
            copy.CopyFrom(config.source->settings);
        }
        // A failed write is not reported; the browser shows whatever the path holds.
        WriteCss(copy, config.cssPath, kPreviewTagClass);
        WritePreviewPage(copy, config.htmlPath, config.cssPath);
        ++rendered;
        if (config.navigate)
            config.navigate(config.htmlPath);
        // Let the browser settle; exit cuts the pause short.
        if (events.WaitExitFor(config.settle))
            break;
    }
    return rendered;
}

CPreviewThread::CPreviewThread(PreviewThreadConfig config)
    : m_config(std::move(config)), m_state(std::make_shared<State>()) {}

CPreviewThread::~CPreviewThread() {
    if (m_thread.joinable())
        Stop();
}

bool CPreviewThread::Start() {
    if (m_thread.joinable() || !m_config.events || !m_config.source)
        return false;
    m_state->done = false;
    try {
        // The thread keeps its own references, so it may outlive this object when
        // it does not stop in time.
        m_thread = std::thread([config = m_config, state = m_state] {
            PreviewThreadProc(config);
            {
                std::lock_guard lock(state->mutex);
                state->done = true;
            }
            state->finished.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CPreviewThread::Stop(std::chrono::milliseconds timeout) {
    if (!m_thread.joinable())
        return true;
    m_config.events->SetExit();
    bool ended;
    {
        std::unique_lock lock(m_state->mutex);
        ended = m_state->finished.wait_for(lock, timeout, [this] { return m_state->done; });
    }
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
    m_config.events->ResetExit();
    return ended;
}

} // namespace vessilo
