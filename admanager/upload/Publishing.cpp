#include "admanager/upload/Publishing.h"

#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/library/LibraryNode.h"
#include "admanager/upload/HostPreselection.h"
#include "common/Cp932.h"
#include "common/Digest.h"
#include "common/FileOps.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>

using nlohmann::json;

namespace {

std::string Format(const char* format, const std::string& value) {
    std::string out = format;
    out.replace(out.find("%s"), 2, value);
    return out;
}

} // namespace

bool PublishRecord::Load(const std::string& path) {
    m_libraries.clear();
    if (!FileOps::FileExists(path))
        return true;
    std::string text;
    if (!FileOps::ReadWholeFile(path, text))
        return false;
    json j = json::parse(text, nullptr, false);
    if (!j.is_object() || !j.contains("libraries") || !j["libraries"].is_object())
        return false;
    for (auto& [library, items] : j["libraries"].items()) {
        if (!items.is_object())
            continue;
        for (auto& [id, e] : items.items()) {
            if (!e.is_object() || !e.value("host", json()).is_string() || !e.value("files", json()).is_array())
                continue;
            Entry entry;
            entry.host = e["host"].get<std::string>();
            for (const json& f : e["files"])
                if (f.is_object() && f.value("remote", json()).is_string() && f.value("sha256", json()).is_string())
                    entry.files.push_back({f["remote"].get<std::string>(), f["sha256"].get<std::string>()});
            m_libraries[library][id] = std::move(entry);
        }
    }
    return true;
}

bool PublishRecord::Save(const std::string& path) const {
    json libraries = json::object();
    for (const auto& [library, items] : m_libraries) {
        json byId = json::object();
        for (const auto& [id, entry] : items) {
            json files = json::array();
            for (const File& f : entry.files)
                files.push_back({{"remote", f.remote}, {"sha256", f.sha256}});
            byId[id] = {{"host", entry.host}, {"files", std::move(files)}};
        }
        libraries[library] = std::move(byId);
    }
    json j = {{"version", 1}, {"libraries", std::move(libraries)}};
    return FileOps::ReplaceFileAtomic(path, j.dump(1, ' ', false, json::error_handler_t::replace) + "\n");
}

const PublishRecord::Entry* PublishRecord::Find(const std::string& library, const std::string& itemId) const {
    auto lib = m_libraries.find(library);
    if (lib == m_libraries.end())
        return nullptr;
    auto it = lib->second.find(itemId);
    return it == lib->second.end() ? nullptr : &it->second;
}

void PublishRecord::Set(const std::string& library, const std::string& itemId, Entry entry) {
    m_libraries[library][itemId] = std::move(entry);
}

std::string HostKeyText(const FtpHostEntry& host) {
    long port = host.port == 0 ? DefaultPort(host.protocol) : host.port;
    return std::string(ProtocolName(host.protocol)) + "://" + Cp932::ToUtf8(host.user) + "@" +
           Cp932::ToUtf8(host.host) + ":" + std::to_string(port) + "/" + Cp932::ToUtf8(host.directory);
}

std::string LibraryKey(const std::string& libraryPath) {
    if (libraryPath.empty())
        return {}; // a library never saved
    std::error_code ec;
    auto absolute = std::filesystem::absolute(libraryPath, ec);
    return ec ? libraryPath : absolute.lexically_normal().string();
}

void CollectPublishable(const LibraryNode& node, std::vector<std::pair<const LibraryNode*, std::string>>& out,
                        const std::string& prefix) {
    for (const auto& child : node.children) {
        if (child->IsDeleted())
            continue;
        std::string label = prefix + Cp932::ToUtf8(child->title);
        if (child->IsAdItem()) {
            if (!child->outputPath.empty())
                out.emplace_back(child.get(), label);
        } else {
            CollectPublishable(*child, out, label + "/");
        }
    }
}

PublishItem PlanItem(const LibraryNode& node, std::string label, const FtpHostList* hosts,
                     const PublishRecord& record, const std::string& libraryKey, const AppSettings* settings) {
    PublishItem item;
    item.node = &node;
    item.label = std::move(label);
    item.outputPath = Cp932::ToUtf8(node.outputPath);
    auto problem = [&item](std::string text) {
        item.state = PublishItem::State::Problem;
        item.problem = std::move(text);
        return item;
    };
    if (node.HasReadError())
        return problem("ライブラリから読み込めなかったアドアイテムです。");
    AdBlockOptions options = OptionsFromItem(node);
    if (settings)
        ApplyOutputSettings(options, *settings);
    if (OptionProblem p = CheckAdBlockOptions(options); p != OptionProblem::None)
        return problem(OptionProblemMessage(p));
    if (node.outputPath.empty())
        return problem("■HTML出力先■の「ローカル」を設定してください。");
    const bool upload = hosts && node.ftpUpload != 0;
    if (upload && node.remoteFile.empty())
        return problem("■HTML出力先■の「FTP」を設定してください。。");
    item.result = GenerateAdBlock(options, BannersInListOrder(node));
    if (!item.result.succeeded)
        return problem("HTMLの作成に失敗しました。");
    if (item.result.pages.empty())
        return problem("バナーがないため、複数ページ出力では書き出すページがありません。");

    const int pages = PageFilesOf(item.result);
    UploadBatch batch = AdBlockBatch(item.outputPath, node.remoteFile, pages);
    for (std::size_t i = 0; i < batch.files.size(); ++i) {
        // File 0 is page 1 under the main name; file k is page k.
        const std::string& bytes = item.result.pages[i == 0 ? 0 : i - 1];
        item.files.push_back({batch.files[i].localPath, batch.files[i].remoteName, Digest::Sha256Hex(bytes), true});
    }
    if (!upload)
        return item;
    item.hostIndex = PreselectHost(*hosts, node.ftpHost);
    if (item.hostIndex < 0) {
        item.uploadProblem = PublishTexts::kNoHosts;
        return item;
    }

    const PublishRecord::Entry* last = record.Find(libraryKey, node.id);
    const std::string hostKey = HostKeyText(hosts->entries[static_cast<std::size_t>(item.hostIndex)]);
    if (!last || last->host != hostKey) {
        item.state = PublishItem::State::New;
        return item;
    }
    bool anyChanged = false;
    for (PublishFile& f : item.files) {
        PublishRecord::File mine{Cp932::ToUtf8(f.remoteName), f.sha256};
        f.changed = std::find(last->files.begin(), last->files.end(), mine) == last->files.end();
        anyChanged = anyChanged || f.changed;
    }
    item.state = anyChanged ? PublishItem::State::Changed : PublishItem::State::Unchanged;
    return item;
}

PublishRun::PublishRun(std::vector<PublishItem> items, const FtpHostList& hosts, PublishOptions options, Sink sink,
                       Progress progress, ItemDone itemDone)
    : m_items(std::move(items)), m_hosts(hosts), m_options(std::move(options)), m_sink(std::move(sink)),
      m_progress(std::move(progress)), m_itemDone(std::move(itemDone)), m_outcomes(m_items.size()),
      m_finished(m_items.size(), false) {}

void PublishRun::RequestStop() {
    m_stop.store(true);
    std::lock_guard lock(m_jobMutex);
    if (m_job)
        m_job->RequestStop();
}

void PublishRun::Finish(std::size_t index, PublishItemOutcome::Result result, std::string message) {
    if (m_finished[index])
        return;
    m_finished[index] = true;
    m_outcomes[index] = {result, std::move(message)};
    if (m_itemDone)
        m_itemDone(index, m_outcomes[index]);
}

void PublishRun::Run() {
    using R = PublishItemOutcome::Result;
    auto log = [this](const std::string& line) {
        if (m_sink)
            m_sink(line);
    };
    auto step = [this] {
        ++m_done;
        if (m_progress)
            m_progress(m_done, m_total);
    };
    auto sends = [this](const PublishFile& f) { return m_options.allFiles || f.changed; };

    m_total = 0;
    for (const PublishItem& item : m_items) {
        if (item.state == PublishItem::State::Problem)
            continue;
        m_total += static_cast<int>(item.files.size());
        if (item.Uploads())
            for (const PublishFile& f : item.files)
                m_total += sends(f) ? 1 : 0;
    }

    // Every block is written first, as "HTML出力" writes it.
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const PublishItem& item = m_items[i];
        log("== " + item.label);
        if (item.state == PublishItem::State::Problem) {
            log(item.problem);
            Finish(i, R::Failed, item.problem);
            continue;
        }
        if (m_stop.load()) {
            Finish(i, R::Stopped, PublishTexts::kStopped);
            continue;
        }
        OutputReport report = WriteAdBlockOutput(item.result, item.outputPath);
        for (const std::string& path : report.written) {
            log(path);
            step();
        }
        if (!report.Ok()) {
            std::string message = std::string(OutputErrorMessage(report.error)) + " (" + report.failedPath + ")";
            log(message);
            Finish(i, R::Failed, message);
            continue;
        }
        if (!item.uploadProblem.empty()) {
            log(item.uploadProblem);
            Finish(i, R::Failed, item.uploadProblem);
        } else if (!item.Uploads()) {
            log(PublishTexts::kLocalSaved);
            Finish(i, R::Published);
        } else if (!m_options.allFiles && item.state == PublishItem::State::Unchanged) {
            log(PublishTexts::kNothingChanged);
            Finish(i, R::Unchanged);
        }
    }

    // Then one connection per host, in the order the hosts first appear.
    std::vector<int> hostOrder;
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (!m_finished[i] && m_items[i].Uploads() &&
            std::find(hostOrder.begin(), hostOrder.end(), m_items[i].hostIndex) == hostOrder.end())
            hostOrder.push_back(m_items[i].hostIndex);

    for (int hostIndex : hostOrder) {
        std::vector<std::size_t> members;
        UploadRequest request;
        request.host = m_hosts.entries[static_cast<std::size_t>(hostIndex)];
        request.timeouts = m_options.timeouts;
        request.knownHostsPath = m_options.knownHostsPath;
        if (auto p = m_options.passphrases.find(hostIndex); p != m_options.passphrases.end())
            request.passphrase = p->second;
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (m_finished[i] || m_items[i].hostIndex != hostIndex)
                continue;
            UploadBatch batch;
            for (const PublishFile& f : m_items[i].files)
                if (sends(f))
                    batch.files.push_back({f.localPath, f.remoteName});
            members.push_back(i);
            request.batches.push_back(std::move(batch));
        }
        if (m_stop.load()) {
            for (std::size_t i : members)
                Finish(i, R::Stopped, PublishTexts::kStopped);
            continue;
        }
        log(Format(PublishTexts::kHostHeader, Cp932::ToUtf8(request.host.name)));
        UploadJob job(std::move(request), [&](const std::string& line) {
            log(line);
            if (line == UploadTexts::kUploaded || line == UploadTexts::kUploadFailed)
                step();
        });
        {
            std::lock_guard lock(m_jobMutex);
            m_job = &job;
        }
        if (m_stop.load())
            job.RequestStop();
        UploadOutcome outcome = job.Run();
        {
            std::lock_guard lock(m_jobMutex);
            m_job = nullptr;
        }
        if (job.Peer().NeedsDecision())
            m_untrusted[hostIndex] = job.Peer();
        for (std::size_t b = 0; b < members.size(); ++b) {
            if (job.BatchesSent()[b])
                Finish(members[b], R::Published);
            else if (outcome == UploadOutcome::Stopped)
                Finish(members[b], R::Stopped, PublishTexts::kStopped);
            else
                Finish(members[b], R::Failed,
                       job.Peer().NeedsDecision() ? "「" + Cp932::ToUtf8(m_hosts.entries[hostIndex].name) +
                                                        "」のサーバを確認できません。 " + FingerprintText(job.Peer())
                                                  : PublishTexts::kUploadFailed);
        }
    }
    for (std::size_t i = 0; i < m_items.size(); ++i)
        Finish(i, m_stop.load() ? R::Stopped : R::Failed, PublishTexts::kStopped);
    for (const std::string& line : Summary())
        log(line);
}

void PublishRun::UpdateRecord(PublishRecord& record, const std::string& libraryKey) const {
    using R = PublishItemOutcome::Result;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const PublishItem& item = m_items[i];
        if (!item.Uploads() || (m_outcomes[i].result != R::Published && m_outcomes[i].result != R::Unchanged))
            continue;
        PublishRecord::Entry entry;
        entry.host = HostKeyText(m_hosts.entries[static_cast<std::size_t>(item.hostIndex)]);
        for (const PublishFile& f : item.files)
            entry.files.push_back({Cp932::ToUtf8(f.remoteName), f.sha256});
        record.Set(libraryKey, item.node->id, std::move(entry));
    }
}

std::vector<std::string> PublishRun::Summary() const {
    using R = PublishItemOutcome::Result;
    int published = 0, unchanged = 0, failed = 0;
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < m_outcomes.size(); ++i) {
        switch (m_outcomes[i].result) {
        case R::Published:
            ++published;
            break;
        case R::Unchanged:
            ++unchanged;
            break;
        case R::Failed:
        case R::Stopped:
            ++failed;
            failures.push_back("  × " + m_items[i].label + ": " + m_outcomes[i].message);
            break;
        }
    }
    char counts[128];
    std::snprintf(counts, sizeof counts, PublishTexts::kSummary, published, unchanged, failed);
    std::vector<std::string> lines{counts};
    lines.insert(lines.end(), failures.begin(), failures.end());
    return lines;
}

bool PublishRun::AnyFailed() const {
    for (const PublishItemOutcome& o : m_outcomes)
        if (o.result == PublishItemOutcome::Result::Failed || o.result == PublishItemOutcome::Result::Stopped)
            return true;
    return false;
}
