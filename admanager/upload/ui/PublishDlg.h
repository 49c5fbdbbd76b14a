#pragma once

#include "admanager/upload/Publishing.h"

#include <QDialog>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// "Zelvor管理 - まとめてアップロード": every ad item with an output path, its
// FTP host and whether its output changed since it was last sent. The ticked
// ones are written and uploaded on a worker thread, one connection per host;
// it cannot be closed while that runs.
class CPublishDlg : public QDialog {
    Q_OBJECT
public:
    CPublishDlg(const AdLibrary& library, std::string libraryPath, FtpHostList& hosts, std::string settingsDir,
                const AppSettings& settings, QWidget* parent = nullptr);
    ~CPublishDlg() override;

    bool IsBusy() const { return m_busy.load(); }
    void reject() override;

Q_SIGNALS:
    void publishFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Plan();
    void FillRows();
    void OnStart();
    void Start(bool again);
    void OnStop();
    void OnItemDone(std::size_t row, PublishItemOutcome outcome);
    void OnWorkerEnded();
    void SetRunning(bool running);
    void AppendLog(const QString& line);
    void UpdateStartEnabled();

    const AdLibrary& m_library;
    const AppSettings& m_settings;
    std::string m_libraryPath;
    FtpHostList& m_hosts;
    std::string m_settingsDir;
    std::string m_recordPath;
    PublishRecord m_record;
    std::vector<PublishItem> m_items;
    std::vector<std::size_t> m_running; // rows of the items of the current run
    std::map<std::size_t, PublishItemOutcome> m_outcomes; // by row, since 開始 was pressed

    QLabel* m_intro = nullptr;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_allFiles = nullptr;
    QProgressBar* m_progress = nullptr;
    QListWidget* m_log = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_selectAll = nullptr;
    QPushButton* m_selectNone = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_close = nullptr;

    std::atomic<bool> m_busy{false};
    std::unique_ptr<PublishRun> m_run;
    std::thread m_worker;
};
