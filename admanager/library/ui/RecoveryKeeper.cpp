#include "admanager/library/ui/RecoveryKeeper.h"

#include "admanager/library/LibraryFile.h"
#include "admanager/library/RecoveryFile.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "common/FileOps.h"

#include <ctime>
#include <unistd.h>

namespace {

// The first copy after a quiet spell waits this long, so a burst of typing is one write.
constexpr std::chrono::milliseconds kSettle{1000};
// What one slice of encoding may take on the user-interface thread.
constexpr std::chrono::milliseconds kSlice{8};

} // namespace

CRecoveryKeeper::CRecoveryKeeper(CAfManagerDoc& doc, QObject* parent) : QObject(parent), m_doc(doc) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CRecoveryKeeper::Begin);
    m_pump.setInterval(0);
    connect(&m_pump, &QTimer::timeout, this, &CRecoveryKeeper::Pump);
}

CRecoveryKeeper::~CRecoveryKeeper() { Discard(); }

void CRecoveryKeeper::Adopt(const std::string& file) {
    if (file == m_file)
        return;
    Discard();
    m_file = file;
}

void CRecoveryKeeper::OnChanged() {
    // An encoding in progress would mix the old library with the new.
    m_encoding.reset();
    m_pump.stop();
    if (m_doc.IsModified())
        Schedule();
}

void CRecoveryKeeper::Schedule() {
    if (m_timer.isActive())
        return;
    const auto now = std::chrono::steady_clock::now();
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_lastWrite + m_interval - now);
    m_timer.start(std::max(wait, kSettle));
}

void CRecoveryKeeper::Begin() {
    if (!m_doc.IsModified())
        return;
    if (m_writer.joinable()) {
        // The last copy is still being written: try again shortly.
        m_timer.start(kSettle);
        return;
    }
    // Named on the first copy: a run that never needs one makes no folder.
    if (m_file.empty())
        m_file = RecoveryFile::Folder() + "zova_af-" + std::to_string(::getpid()) + "-" +
                 std::to_string(static_cast<long long>(std::time(nullptr))) + RecoveryFile::kExtension;
    m_encoding = std::make_unique<StepwiseEncoding>(m_doc.Library());
    m_pump.start();
}

void CRecoveryKeeper::Pump() {
    if (!m_encoding) {
        m_pump.stop();
        return;
    }
    if (!m_encoding->Step(std::chrono::steady_clock::now() + kSlice))
        return;
    m_pump.stop();
    std::shared_ptr<StepwiseEncoding> encoding(std::move(m_encoding));
    RecoveryFile::Header header{m_doc.LibraryPath(), static_cast<std::int64_t>(std::time(nullptr))};
    m_writer = std::thread([this, encoding, header, file = m_file, generation = m_generation] {
        const bool ok = RecoveryFile::Write(file, header, [&encoding](const RecoveryFile::Sink& sink) {
            return encoding->Pack(sink);
        });
        QMetaObject::invokeMethod(this, [this, ok, generation] { Finished(ok, generation); }, Qt::QueuedConnection);
    });
}

void CRecoveryKeeper::Finished(bool ok, unsigned generation) {
    if (m_writer.joinable())
        m_writer.join();
    if (generation != m_generation)
        return; // discarded meanwhile
    m_lastWrite = std::chrono::steady_clock::now();
    if (!ok && !m_reportedFailure) {
        m_reportedFailure = true;
        Q_EMIT m_doc.statusMessage(u"復元用のコピーを保存できませんでした。"_qs);
    }
    Q_EMIT written(ok);
}

void CRecoveryKeeper::WaitForWriter() {
    if (m_writer.joinable())
        m_writer.join();
}

void CRecoveryKeeper::Discard() {
    m_timer.stop();
    m_pump.stop();
    m_encoding.reset();
    WaitForWriter();
    ++m_generation;
    if (!m_file.empty())
        FileOps::RemoveFileRetry(m_file);
    // The next change after a save is copied soon, not a minute later.
    m_lastWrite = {};
}
