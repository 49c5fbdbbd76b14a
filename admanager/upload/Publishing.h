#pragma once

#include "admanager/htmlgen/AdBlockGenerator.h"
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
// files of items with the FTP flag go to their hosts, one connection per host.
// What was sent is recorded per ad item (host, remote names, a hash of each
// file's bytes) in the state folder, not in the library, so only files whose
// bytes changed need to go again.

// What was last published, kept as JSON beside the known hosts.
class PublishRecord {
public:
    static constexpr const char* kFileName = "published.json";

    struct File {
        std::string remote; // UTF-8
        std::string sha256;
        bool operator==(const File&) const = default;
    };
    struct Entry {
        std::string host; // HostKeyText of the host it went to
        std::vector<File> files;
    };

    // A missing file is an empty record; false when the file is there but
    // cannot be read or is not a record (then the record is empty too).
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    const Entry* Find(const std::string& library, const std::string& itemId) const;
    void Set(const std::string& library, const std::string& itemId, Entry entry);

private:
    std::map<std::string, std::map<std::string, Entry>> m_libraries;
};

// Names a host setting by where files land: protocol, user, host, port and
// directory (UTF-8); a record made for another place does not count.
std::string HostKeyText(const FtpHostEntry& host);

struct PublishFile {
    std::string localPath;  // file-system path
    std::string remoteName; // CP932, relative to the host's directory
    std::string sha256;     // of the bytes generated
    bool changed = true;    // differs from the record (or no record)
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
    std::string problem;       // UTF-8
    std::string uploadProblem; // UTF-8: written, but cannot go to a host
    AdBlockResult result;
    std::vector<PublishFile> files; // the main file, then numbered pages

    bool Uploads() const { return hostIndex >= 0; }
};

// Every live ad item with an output path under node, in tree order, with its
// title path as label.
void CollectPublishable(const LibraryNode& node, std::vector<std::pair<const LibraryNode*, std::string>>& out,
                        const std::string& prefix = {});

// Generates each item's block in memory and compares it with the record.
// hosts null: nothing is to be uploaded. settings: the ad manager's output
// choices (label, added attributes), as "HTML出力" applies them.
PublishItem PlanItem(const LibraryNode& node, std::string label, const FtpHostList* hosts,
                     const PublishRecord& record, const std::string& libraryKey,
                     const AppSettings* settings = nullptr);

// The record's key of a library: its absolute path.
std::string LibraryKey(const std::string& libraryPath);

// Texts shared by the window and the command line.
namespace PublishTexts {
constexpr char kLocalSaved[] = "ローカルファイルに保存しました。";
constexpr char kNothingChanged[] = "変更がないためアップロードしません。";
constexpr char kUploadFailed[] = "アップロードに失敗しました。";
constexpr char kStopped[] = "停止しました。";
constexpr char kNoHosts[] = "FTPホストが設定されていません。";
constexpr char kHostHeader[] = "FTP: %s";
constexpr char kSummary[] = "公開: %d件、変更なし: %d件、失敗: %d件";
} // namespace PublishTexts

struct PublishOptions {
    bool allFiles = false; // send unchanged files too
    UploadTimeouts timeouts;
    std::string knownHostsPath;
    std::map<int, std::string> passphrases; // per host index
};

struct PublishItemOutcome {
    enum class Result { Published, Unchanged, Failed, Stopped };
    Result result = Result::Failed;
    std::string message; // UTF-8, why it failed
};

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
    // Updates record with every item that went out (or was unchanged).
    void UpdateRecord(PublishRecord& record, const std::string& libraryKey) const;
    // The summary lines (UTF-8): counts, then one line per failed item.
    std::vector<std::string> Summary() const;
    bool AnyFailed() const;

private:
    void Finish(std::size_t index, PublishItemOutcome::Result result, std::string message = {});

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
    int m_done = 0;
    int m_total = 0;
};
