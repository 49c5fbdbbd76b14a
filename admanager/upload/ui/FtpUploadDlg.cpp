#include "admanager/upload/ui/FtpUploadDlg.h"

#include "admanager/settings/ui/FtpHostDlg.h"
#include "admanager/upload/HostPreselection.h"
#include "admanager/upload/ui/TrustPrompt.h"
#include "common/ui/Prompter.h"
#include "common/ui/Cp932Qt.h"
#include "ui_FtpUploadDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <utility>

CFtpUploadDlg::CFtpUploadDlg(FtpHostList& hosts, std::string moduleDir, std::string hostName, std::string localPath,
                             std::string remoteName, int pageFiles, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FtpUploadDlg>()), m_hosts(hosts), m_moduleDir(std::move(moduleDir)),
      m_hostName(std::move(hostName)), m_localPath(std::move(localPath)), m_remoteName(std::move(remoteName)),
      m_pageFiles(pageFiles) {
    m_ui->setupUi(this);
    // Names for screen readers and tests: each control's own label.
    const std::pair<QWidget*, QString> names[] = {
        {m_ui->hostComboBox, u"FTP設定選択"_qs},          {m_ui->hostLineEdit, u"ホスト名（IPアドレス）"_qs},
        {m_ui->portLineEdit, u"Port"_qs},                  {m_ui->userLineEdit, u"ユーザ名"_qs},
        {m_ui->passwordLineEdit, u"パスワード"_qs},        {m_ui->directoryLineEdit, u"ホストのカレントディレクトリ"_qs},
        {m_ui->logListWidget, u"ログ"_qs}};
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);
    m_ui->stopPushButton->setEnabled(false);
    connect(m_ui->hostComboBox, &QComboBox::currentIndexChanged, this, &CFtpUploadDlg::ShowHost);
    connect(m_ui->startPushButton, &QPushButton::clicked, this, &CFtpUploadDlg::OnStart);
    connect(m_ui->stopPushButton, &QPushButton::clicked, this, &CFtpUploadDlg::RequestStop);
    connect(m_ui->hostSettingsPushButton, &QPushButton::clicked, this, &CFtpUploadDlg::OnHostSettings);
    connect(m_ui->closePushButton, &QPushButton::clicked, this, &CFtpUploadDlg::reject);
    FillHosts(PreselectHost(m_hosts, m_hostName));
}

CFtpUploadDlg::~CFtpUploadDlg() {
    // Only reached from idle in normal use; a parent torn down mid-run still
    // must not leave the worker with a dead job.
    if (m_job)
        m_job->RequestStop();
    if (m_worker.joinable())
        m_worker.join();
}

void CFtpUploadDlg::FillHosts(int select) {
    QSignalBlocker block(m_ui->hostComboBox);
    m_ui->hostComboBox->clear();
    for (const FtpHostEntry& entry : m_hosts.entries)
        m_ui->hostComboBox->addItem(Cp932Qt::ToQt(entry.name));
    m_ui->hostComboBox->setCurrentIndex(select);
    ShowHost(m_ui->hostComboBox->currentIndex());
}

void CFtpUploadDlg::ShowHost(int index) {
    if (index < 0 || index >= m_hosts.Count()) {
        m_ui->hostLineEdit->clear();
        m_ui->portLineEdit->clear();
        m_ui->userLineEdit->clear();
        m_ui->passwordLineEdit->clear();
        m_ui->directoryLineEdit->clear();
        return;
    }
    const FtpHostEntry& entry = m_hosts.entries[static_cast<std::size_t>(index)];
    m_ui->hostLineEdit->setText(Cp932Qt::ToQt(entry.host));
    m_ui->portLineEdit->setText(QString::number(entry.port));
    m_ui->userLineEdit->setText(Cp932Qt::ToQt(entry.user));
    m_ui->passwordLineEdit->setText(Cp932Qt::ToQt(entry.password));
    m_ui->directoryLineEdit->setText(Cp932Qt::ToQt(entry.directory));
}

void CFtpUploadDlg::OnStart() {
    if (m_busy.load())
        return;
    int index = m_ui->hostComboBox->currentIndex();
    if (index < 0 || index >= m_hosts.Count()) {
        m_ui->hostLineEdit->clear();
        m_ui->userLineEdit->clear();
        m_ui->passwordLineEdit->clear();
        m_ui->directoryLineEdit->clear();
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_hostName = Cp932Qt::FromQt(m_ui->hostComboBox->currentText());

    UploadRequest request;
    request.host = m_hosts.entries[static_cast<std::size_t>(index)];
    if (!AskPassphrase(this, request.host, request.passphrase))
        return;
    m_runHost = index;
    request.batches = {AdBlockBatch(m_localPath, m_remoteName, m_pageFiles)};
    request.knownHostsPath = KnownHostsPath();
    // The worker reaches the dialog only through queued calls; they are dropped
    // if the dialog is gone, and the destructor waits for the worker anyway.
    m_stopWanted.store(false);
    m_job = std::make_unique<UploadJob>(std::move(request), [this](const std::string& line) {
        if (m_stopWanted.load())
            m_job->RequestStop();
        QString text = QString::fromStdString(line);
        QMetaObject::invokeMethod(
            this, [this, text] { AppendLog(text); }, Qt::QueuedConnection);
    });
    // Busy before the thread exists: a second click or a close in between is refused.
    m_busy.store(true);
    SetRunning(true);
    UploadJob* job = m_job.get();
    m_worker = std::thread([this, job] {
        int outcome = static_cast<int>(job->Run());
        QMetaObject::invokeMethod(
            this, [this, outcome] { OnWorkerEnded(outcome); }, Qt::QueuedConnection);
    });
}

void CFtpUploadDlg::OnWorkerEnded(int outcome) {
    if (m_worker.joinable())
        m_worker.join();
    m_busy.store(false);
    SetRunning(false);
    Q_EMIT uploadFinished(outcome);
    // A server we could not vouch for: the user decides, and on yes the
    // upload goes again at once with the host pinned.
    const PeerIdentity peer = m_job ? m_job->Peer() : PeerIdentity();
    if (peer.NeedsDecision() && m_runHost >= 0 && m_runHost < m_hosts.Count()) {
        FtpHostEntry& host = m_hosts.entries[static_cast<std::size_t>(m_runHost)];
        if (AskToTrust(this, host, peer, KnownHostsPath())) {
            if (!SaveFtpHostList(m_hosts, m_moduleDir))
                Prompter::Current().Message(this, u"FTPホストリストの保存に失敗しました。"_qs, Prompter::Icon::Stop);
            OnStart();
        }
    }
}

void CFtpUploadDlg::RequestStop() {
    if (!m_job || !m_busy.load())
        return;
    m_stopWanted.store(true);
    m_job->RequestStop();
}

void CFtpUploadDlg::SetRunning(bool running) {
    m_ui->hostComboBox->setEnabled(!running);
    m_ui->hostSettingsPushButton->setEnabled(!running);
    m_ui->startPushButton->setEnabled(!running);
    m_ui->closePushButton->setEnabled(!running);
    m_ui->stopPushButton->setEnabled(running);
}

void CFtpUploadDlg::AppendLog(const QString& line) {
    m_ui->logListWidget->addItem(line);
    m_ui->logListWidget->scrollToBottom();
}

void CFtpUploadDlg::OnHostSettings() {
    if (m_busy.load())
        return;
    QString current = m_ui->hostComboBox->currentText();
    if (!EditFtpHostList(m_hosts, m_moduleDir, this))
        return;
    // Refill so the names shown and the entries uploaded to agree; keep the
    // chosen host when it still exists.
    int exact = -1;
    for (int i = 0; i < m_hosts.Count(); ++i) {
        if (Cp932Qt::ToQt(m_hosts.entries[static_cast<std::size_t>(i)].name) == current) {
            exact = i;
            break;
        }
    }
    FillHosts(exact >= 0 ? exact : PreselectHost(m_hosts, m_hostName));
}

void CFtpUploadDlg::reject() {
    if (m_busy.load())
        return;
    QDialog::reject();
}

void CFtpUploadDlg::closeEvent(QCloseEvent* event) {
    if (m_busy.load())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void CFtpUploadDlg::keyPressEvent(QKeyEvent* event) {
    // Enter must not start or end anything.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
