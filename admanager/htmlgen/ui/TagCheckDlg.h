#pragma once

#include "admanager/library/LibraryNode.h"
#include "admanager/linkcheck/LinkCheck.h"

#include <QDialog>
#include <QStyle>
#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Ui {
class TagCheckDlg;
}
class QTableWidget;

// The standard icon of a finding's severity, in the report and the banner list.
QStyle::StandardPixmap TagSeverityIcon(TagSeverity severity);

// "Zelvor管理 - タグの確認": the findings of every banner tag of the library, one
// row per finding, before the user publishes. The same window runs the online
// "リンクの確認" of a folder or ad item: the addresses are fetched on a worker
// thread while a bar shows the progress, and the run can be stopped.
class CTagCheckDlg : public QDialog {
    Q_OBJECT
public:
    CTagCheckDlg(const LibraryNode& root, QWidget* parent = nullptr);
    // The online check of node's live banners; it starts when the window shows.
    struct LinkCheck {
        const LibraryNode* node = nullptr;
        std::string nodePath; // CP932, as NodePathOf
        LinkCheckSetup setup;
    };
    CTagCheckDlg(LinkCheck check, QWidget* parent = nullptr);
    ~CTagCheckDlg() override;

    QTableWidget* Findings() const;
    // The finding's banner the user went to (double-click or Enter), or nulls.
    struct Target {
        const LibraryNode* item = nullptr;
        const Banner* banner = nullptr;
    };
    Target Chosen() const { return m_chosen; }
    // What the online check's addresses answered (by ResultKey).
    const std::map<std::string, UrlResult>& LinkResults() const { return m_results; }
    bool Running() const { return m_worker.joinable(); }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    void done(int result) override;

private:
    void SetUp();
    void Fill(std::vector<BannerCheck> checks);
    void AddRows(const BannerCheck& check, const std::vector<TagFinding>& findings);
    // While a check runs: a banner's rows go up once all its addresses are answered.
    void WatchForAnswers(const std::vector<BannerCheck>& banners);
    void Answered(const std::string& key, const UrlResult& result);
    void ApplyFilter();
    // The least severity the filter shows.
    TagSeverity MinimumShown() const;
    void StartLinkCheck(bool fresh);
    void StopLinkCheck();
    void LinkCheckFinished();
    // Joins the worker and keeps what it found; null when nothing is left to take.
    std::shared_ptr<LinkCheckRun> TakeFinished();
    void SaveCsv();

    std::unique_ptr<Ui::TagCheckDlg> m_ui;
    std::vector<BannerCheck> m_checks;
    std::vector<Target> m_rows;
    std::vector<TagSeverity> m_rowSeverity;
    Target m_chosen;
    bool m_online = false;
    bool m_started = false;
    LinkCheck m_link;
    std::map<std::string, UrlResult> m_results;
    std::thread m_worker;
    std::shared_ptr<LinkCheckRun> m_finished;
    struct Waiting {
        BannerCheck check;
        std::vector<TagUrl> urls;
        std::size_t unanswered = 0;
    };
    std::vector<Waiting> m_waiting;
    std::map<std::string, std::vector<std::size_t>> m_waitingFor; // by ResultKey
    std::map<std::string, UrlResult> m_answers;                   // of the run under way
    std::atomic<bool> m_stop{false};
};
