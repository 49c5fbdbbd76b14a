#pragma once

#include "admanager/settings/AccountLists.h"
#include "admanager/upload/UploadJob.h"

#include <QDialog>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace Ui {
class FtpUploadDlg;
}

// "Zelvor管理 - FTP出力": uploads the files an Output has just written, on a
// worker thread, and logs every step. It cannot be closed while the worker runs.
class CFtpUploadDlg : public QDialog {
    Q_OBJECT
public:
    // hostName: the ad item's stored FTP host name (CP932), preselected by prefix.
    // localPath: the main file (file-system path); remoteName: as typed (CP932).
    CFtpUploadDlg(FtpHostList& hosts, std::string moduleDir, std::string hostName, std::string localPath,
                  std::string remoteName, int pageFiles, QWidget* parent = nullptr);
    ~CFtpUploadDlg() override;

    // The host name to keep in the ad item: the combo's text at the last start.
    const std::string& HostName() const { return m_hostName; }
    bool IsBusy() const { return m_busy.load(); }
    // For tests: the worker's stop flag as the dialog's stop button sets it.
    void RequestStop();

    void reject() override;
    void accept() override {}

Q_SIGNALS:
    // The worker has ended and the dialog is idle again.
    void uploadFinished(int outcome);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillHosts(int select);
    void ShowHost(int index);
    void OnStart();
    void OnHostSettings();
    void OnWorkerEnded(int outcome);
    void SetRunning(bool running);
    void AppendLog(const QString& line);

    std::unique_ptr<Ui::FtpUploadDlg> m_ui;
    FtpHostList& m_hosts;
    std::string m_moduleDir;
    std::string m_hostName;
    std::string m_localPath;
    std::string m_remoteName;
    int m_pageFiles;
    int m_runHost = -1; // the host entry of the last start
    // Set before the worker starts and cleared on this thread once it has ended,
    // so closing is refused for the whole run.
    std::atomic<bool> m_busy{false};
    // The stop button's request for the current run; the job clears its own flag
    // when it begins, so the request is passed on again with every log line.
    std::atomic<bool> m_stopWanted{false};
    std::unique_ptr<UploadJob> m_job;
    std::thread m_worker;
};
