#pragma once

#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/upload/PublishRecord.h"
#include "admanager/upload/UploadJob.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class AdLibrary;
struct AppSettings;
struct LibraryNode;

// Publishing many ad blocks in one go, shared by the publish window and
// `zova publish`: each block is written as "HTML出力" writes it, and the
// files of items with the FTP flag go to the host their setting names, one
// connection per host. What landed where is recorded by destination (see
// PublishRecord), so only files whose bytes changed need to go again.

struct PublishFile {
    std::string localPath;  // file-system path
    std::string remoteName; // CP932, relative to the host's directory
    std::string sha256;     // of the bytes generated
    bool changed = true;    // differs from the record (or no record)
    std::string destination; // the record's key of where it lands (remote, or local for local-only items)
};

struct PublishItem {
    enum class State {
        LocalOnly, // written only: no FTP flag (or no upload wanted)
        New,       // never published to its host
        Changed,   // some file differs from what was last sent
        Unchanged, // every file as last sent
        Problem,   // cannot be published; see problem
    };

    const LibraryNode* node = nullptr;
    std::string label;      // UTF-8 title path
    std::string outputPath; // UTF-8 file-system path of the main file
    int hostIndex = -1;     // the host entry its files go to; -1 when none
    State state = State::LocalOnly;
    bool recorded = false; // published (or, local only, written) from this machine before
    bool changed = true;   // some file differs from the record
    std::string problem;       // UTF-8
    std::string uploadProblem; // UTF-8: written, but cannot go to a host
    AdBlockResult result;
    std::vector<PublishFile> files; // the main file, then numbered pages

    bool Uploads() const { return hostIndex >= 0; }
    // Ticked when the window opens: only what this machine published before
    // and has changed since. A library from elsewhere writes and sends nothing
    // until the user has looked at where it would go.
    bool PreTicked() const { return state != State::Problem && uploadProblem.empty() && recorded && changed; }
};

// Every live ad item with an output path under node, in tree order, with its
// title path as label.
void CollectPublishable(const LibraryNode& node, std::vector<std::pair<const LibraryNode*, std::string>>& out,
                        const std::string& prefix = {});

// Generates each item's block in memory and compares it with the record.
// hosts null: nothing is to be uploaded. settings: the ad manager's output
// choices (label, added attributes), as "HTML出力" applies them. An item goes
// only to the host whose name equals its stored one (ASCII letter case aside).
PublishItem PlanItem(const LibraryNode& node, std::string label, const FtpHostList* hosts,
                     const PublishRecord& record, const AppSettings* settings = nullptr);

// Texts shared by the window and the command line.
namespace PublishTexts {
constexpr char kLocalSaved[] = "ローカルファイルに保存しました。";
constexpr char kNothingChanged[] = "変更がないためアップロードしません。";
constexpr char kUploadFailed[] = "アップロードに失敗しました。";
constexpr char kStopped[] = "停止しました。";
constexpr char kHostMissing[] = "FTPホスト「%s」が見つかりません。";
constexpr char kDotDot[] = "FTPのファイル名に「..」は使えません。";
constexpr char kHostHeader[] = "FTP: %s";
constexpr char kSummary[] = "公開: %d件、変更なし: %d件、失敗: %d件、停止: %d件";
constexpr char kRecordUnwritable[] = "アップロードの記録を保存できませんでした。";
} // namespace PublishTexts

struct PublishOptions {
    bool allFiles = false; // send unchanged files too
    UploadTimeouts timeouts;
    std::string knownHostsPath;
    // published.json; empty: nothing is recorded. A file's entry is dropped
    // before it is sent and written again only once it stands on the server,
    // so a broken run is always sent again by the next.
    std::string recordPath;
    // The run ends its log with its summary; a window that runs again after a
    // trust question writes its own, over every run.
    bool logSummary = true;
    std::map<int, std::string> passphrases; // per host index
};

struct PublishItemOutcome {
    enum class Result { Published, Unchanged, Failed, Stopped };
    Result result = Result::Failed;
    std::string message; // UTF-8, why it failed
};

// Summary lines over outcomes: "公開: …件、…" then one line per item not
// published or unchanged. Labels go with outcomes by index.
std::vector<std::string> PublishSummary(const std::vector<PublishItemOutcome>& outcomes,
                                        const std::vector<std::string>& labels);


// Runs one publishing over the chosen items. Run() blocks (a worker thread in
// the window); RequestStop() may come from any thread.
class PublishRun {
public:
    using Sink = std::function<void(const std::string& line)>;
    // done and total count files (written and sent); item is reported when its end is known.
    using Progress = std::function<void(int done, int total)>;
    using ItemDone = std::function<void(std::size_t index, const PublishItemOutcome& outcome)>;

    PublishRun(std::vector<PublishItem> items, const FtpHostList& hosts, PublishOptions options, Sink sink,
               Progress progress = {}, ItemDone itemDone = {});

    void Run();
    void RequestStop();

    const std::vector<PublishItem>& Items() const { return m_items; }
    const std::vector<PublishItemOutcome>& Outcomes() const { return m_outcomes; }
    // Per host index that showed a certificate or host key needing the user's decision.
    const std::map<int, PeerIdentity>& Untrusted() const { return m_untrusted; }
    // The summary lines (UTF-8): counts, then one line per item not published.
    std::vector<std::string> Summary() const;
    bool AnyFailed() const;
    // The record could not be read or written at some point.
    bool RecordFailed() const { return m_recordFailed; }

private:
    void Finish(std::size_t index, PublishItemOutcome::Result result, std::string message = {});
    void Record(const std::function<void(PublishRecord&)>& change);

    std::vector<PublishItem> m_items;
    FtpHostList m_hosts;
    PublishOptions m_options;
    Sink m_sink;
    Progress m_progress;
    ItemDone m_itemDone;
    std::vector<PublishItemOutcome> m_outcomes;
    std::vector<bool> m_finished;
    std::map<int, PeerIdentity> m_untrusted;
    std::atomic<bool> m_stop{false};
    std::mutex m_jobMutex; // guards m_job against a stop while it ends
    UploadJob* m_job = nullptr;
    bool m_recordFailed = false;
    int m_done = 0;
    int m_total = 0;
};
