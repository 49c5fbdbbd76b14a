#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

class CAfManagerDoc;
class StepwiseEncoding;

// Keeps a recovery copy of the document while it has unsaved changes: at most
// once a minute after a change, encoded a few nodes at a time on this thread
// (so typing never waits) and written on a worker thread.
class CRecoveryKeeper : public QObject {
    Q_OBJECT
public:
    explicit CRecoveryKeeper(CAfManagerDoc& doc, QObject* parent = nullptr);
    ~CRecoveryKeeper() override;

    // The library changed.
    void OnChanged();
    // Nothing is unsaved any more (saved, discarded, replaced): the copy goes.
    void Discard();
    // Carries on with a copy found at start-up: later copies replace it.
    void Adopt(const std::string& file);
    const std::string& File() const { return m_file; }

    // Waits for a copy being written (tests).
    void WaitForWriter();
    // Time between copies (tests).
    void SetInterval(std::chrono::milliseconds interval) { m_interval = interval; }

Q_SIGNALS:
    void written(bool ok);

private:
    void Schedule();
    void Begin();
    void Pump();
    void Finished(bool ok, unsigned generation);

    CAfManagerDoc& m_doc;
    std::string m_file;
    std::chrono::milliseconds m_interval{60000};
    std::chrono::steady_clock::time_point m_lastWrite{};
    QTimer m_timer;
    QTimer m_pump;
    std::unique_ptr<StepwiseEncoding> m_encoding;
    std::thread m_writer;
    bool m_reportedFailure = false;
    unsigned m_generation = 0;
};
