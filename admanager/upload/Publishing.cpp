#include "admanager/upload/Publishing.h"

#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/library/LibraryNode.h"
#include "admanager/upload/HostPreselection.h"
#include "admanager/upload/Transport.h"
#include "common/Cp932.h"
#include "common/Digest.h"
#include "common/FileOps.h"

#include <algorithm>

namespace {

std::string Format(const char* format, const std::string& value) {
    std::string out = format;
    out.replace(out.find("%s"), 2, value);
    return out;
}

} // namespace

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
                     const PublishRecord& record, const AppSettings* settings) {
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
    if (upload && UnsafeRemoteName(RemoteMainName(node.remoteFile)))
        return problem(PublishTexts::kDotDot);
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
        item.files.push_back({batch.files[i].localPath, batch.files[i].remoteName, Digest::Sha256Hex(bytes), true,
                              LocalDestination(batch.files[i].localPath)});
    }
    if (upload) {
        item.hostIndex = FindHostByName(*hosts, node.ftpHost);
        if (item.hostIndex < 0) {
            std::string message = PublishTexts::kHostMissing;
            message.replace(message.find("%s"), 2, Cp932::ToUtf8(node.ftpHost));
            item.uploadProblem = std::move(message);
        } else {
            const FtpHostEntry& host = hosts->entries[static_cast<std::size_t>(item.hostIndex)];
            for (PublishFile& f : item.files)
                f.destination = RemoteDestination(host, f.remoteName);
        }
    }

    bool anyRecorded = false, anyChanged = false;
    for (PublishFile& f : item.files) {
        const std::string* last = record.Find(f.destination);
        anyRecorded = anyRecorded || last;
        f.changed = !last || *last != f.sha256;
        anyChanged = anyChanged || f.changed;
    }
    item.recorded = anyRecorded;
    item.changed = anyChanged;
    if (item.Uploads())
        item.state = !anyRecorded ? PublishItem::State::New
                     : anyChanged ? PublishItem::State::Changed
                                  : PublishItem::State::Unchanged;
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

void PublishRun::Record(const std::function<void(PublishRecord&)>& change) {
    if (m_options.recordPath.empty())
        return;
    PublishRecord record;
    if (!record.Update(m_options.recordPath, change))
        m_recordFailed = true;
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
    std::vector<std::pair<std::string, std::string>> written; // local destination, hash
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
        if (!item.Uploads())
            for (const PublishFile& f : item.files)
                written.emplace_back(f.destination, f.sha256);
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
    if (!written.empty())
        Record([&written](PublishRecord& r) {
            for (const auto& [destination, sha] : written)
                r.Set(destination, sha);
        });

    // Then one connection per host, in the order the hosts first appear.
    std::vector<int> hostOrder;
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (!m_finished[i] && m_items[i].Uploads() &&
            std::find(hostOrder.begin(), hostOrder.end(), m_items[i].hostIndex) == hostOrder.end())
            hostOrder.push_back(m_items[i].hostIndex);

    for (int hostIndex : hostOrder) {
        std::vector<std::size_t> members;
        std::vector<std::vector<const PublishFile*>> sent; // per batch, the files in it
        UploadRequest request;
        request.host = m_hosts.entries[static_cast<std::size_t>(hostIndex)];
        request.timeouts = m_options.timeouts;
        request.knownHostsPath = m_options.knownHostsPath;
        if (auto p = m_options.passphrases.find(hostIndex); p != m_options.passphrases.end())
            request.passphrase = p->second;
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (m_finished[i] || m_items[i].hostIndex != hostIndex)
                continue;
            const PublishItem& item = m_items[i];
            UploadBatch batch;
            std::vector<const PublishFile*> files;
            for (std::size_t k = 0; k < item.files.size(); ++k) {
                const PublishFile& f = item.files[k];
                if (!sends(f))
                    continue;
                // The generated bytes themselves, the ones just written.
                batch.files.push_back({f.localPath, f.remoteName, item.result.pages[k == 0 ? 0 : k - 1]});
                files.push_back(&f);
            }
            members.push_back(i);
            request.batches.push_back(std::move(batch));
            sent.push_back(std::move(files));
        }
        if (m_stop.load()) {
            for (std::size_t i : members)
                Finish(i, R::Stopped, PublishTexts::kStopped);
            continue;
        }
        // What is about to be replaced no longer counts as published until
        // it stands there whole.
        Record([&sent](PublishRecord& r) {
            for (const auto& files : sent)
                for (const PublishFile* f : files)
                    r.Erase(f->destination);
        });
        log(Format(PublishTexts::kHostHeader, Cp932::ToUtf8(request.host.name)));
        UploadJob job(std::move(request), [&](const std::string& line) {
            log(line);
            if (line == UploadTexts::kUploaded || line == UploadTexts::kUploadFailed)
                step();
        });
        job.SetBatchDone([&](std::size_t b, const std::vector<bool>& filesSent) {
            Record([&](PublishRecord& r) {
                for (std::size_t k = 0; k < filesSent.size() && k < sent[b].size(); ++k)
                    if (filesSent[k])
                        r.Set(sent[b][k]->destination, sent[b][k]->sha256);
            });
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
            const UploadFailure& why = job.BatchFailures()[b];
            if (job.BatchesSent()[b])
                Finish(members[b], R::Published);
            else if (outcome == UploadOutcome::Stopped && (!why || why.cause == UploadCause::Stopped))
                Finish(members[b], R::Stopped, PublishTexts::kStopped);
            else if (job.Peer().NeedsDecision())
                Finish(members[b], R::Failed,
                       "「" + Cp932::ToUtf8(m_hosts.entries[hostIndex].name) + "」のサーバを確認できません。 " +
                           FingerprintText(job.Peer()));
            else
                Finish(members[b], R::Failed,
                       why ? PublishTexts::kUploadFailed + std::string(" ") + why.Text() : PublishTexts::kUploadFailed);
        }
    }
    for (std::size_t i = 0; i < m_items.size(); ++i)
        Finish(i, m_stop.load() ? R::Stopped : R::Failed, PublishTexts::kStopped);
    // Whatever was skipped, the run is over: the bar ends full.
    m_done = m_total;
    if (m_progress)
        m_progress(m_total, m_total);
    if (m_recordFailed)
        log(PublishTexts::kRecordUnwritable);
    if (m_options.logSummary)
        for (const std::string& line : Summary())
            log(line);
}

std::vector<std::string> PublishSummary(const std::vector<PublishItemOutcome>& outcomes,
                                        const std::vector<std::string>& labels) {
    using R = PublishItemOutcome::Result;
    int published = 0, unchanged = 0, failed = 0, stopped = 0;
    std::vector<std::string> others;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        switch (outcomes[i].result) {
        case R::Published:
            ++published;
            continue;
        case R::Unchanged:
            ++unchanged;
            continue;
        case R::Failed:
            ++failed;
            break;
        case R::Stopped:
            ++stopped;
            break;
        }
        others.push_back("  × " + (i < labels.size() ? labels[i] : std::string()) + ": " + outcomes[i].message);
    }
    char counts[160];
    std::snprintf(counts, sizeof counts, PublishTexts::kSummary, published, unchanged, failed, stopped);
    std::vector<std::string> lines{counts};
    lines.insert(lines.end(), others.begin(), others.end());
    return lines;
}

std::vector<std::string> PublishRun::Summary() const {
    std::vector<std::string> labels;
    for (const PublishItem& item : m_items)
        labels.push_back(item.label);
    return PublishSummary(m_outcomes, labels);
}

bool PublishRun::AnyFailed() const {
    for (const PublishItemOutcome& o : m_outcomes)
        if (o.result == PublishItemOutcome::Result::Failed || o.result == PublishItemOutcome::Result::Stopped)
            return true;
    return false;
}
