#include "admanager/linkcheck/LinkCheck.h"

#include "common/AppPaths.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/Publisher.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>
#include <stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <iterator>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

struct UrlParts {
    std::string scheme, host, port, path;
    bool portWritten = false;
};

// libcurl's own parser, so the host we group and compare by is the one it connects to.
UrlParts PartsOf(const std::string& url) {
    UrlParts parts;
    CURLU* u = curl_url();
    if (!u)
        return parts;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        auto get = [u](CURLUPart part, std::string& out, unsigned flags) {
            char* text = nullptr;
            if (curl_url_get(u, part, &text, flags) == CURLUE_OK && text)
                out = text;
            curl_free(text);
        };
        get(CURLUPART_SCHEME, parts.scheme, 0);
        get(CURLUPART_HOST, parts.host, 0);
        get(CURLUPART_PORT, parts.port, CURLU_DEFAULT_PORT);
        get(CURLUPART_PATH, parts.path, 0);
        char* port = nullptr;
        parts.portWritten = curl_url_get(u, CURLUPART_PORT, &port, 0) == CURLUE_OK;
        curl_free(port);
        parts.scheme = Lower(parts.scheme);
        parts.host = Lower(parts.host);
    }
    curl_url_cleanup(u);
    return parts;
}

std::string HttpsVersion(const std::string& url) {
    return "https://" + url.substr(7);
}

// Only the formats banners come in reach the image library: whatever a server
// sends, its readers of rarer formats never see it.
bool LooksLikeBannerImage(const std::string& bytes) {
    static constexpr std::string_view kMagic[] = {"\x89PNG\r\n\x1a\n", "GIF87a", "GIF89a", "\xFF\xD8\xFF", "BM"};
    return std::any_of(std::begin(kMagic), std::end(kMagic),
                       [&](std::string_view magic) { return std::string_view(bytes).substr(0, magic.size()) == magic; });
}

int PixelSize(const std::string& bytes, int& width, int& height) {
    int comp = 0;
    if (!LooksLikeBannerImage(bytes))
        return 0;
    return stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()), &width,
                                 &height, &comp);
}

UrlResult::Outcome OutcomeOf(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return UrlResult::Outcome::Answered;
    case CURLE_COULDNT_RESOLVE_HOST:
        return UrlResult::Outcome::NoSuchHost;
    // Faults on this side (the proxy setting, the trust store, memory) say
    // nothing of the address.
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
        return UrlResult::Outcome::LocalFailure;
    case CURLE_COULDNT_CONNECT:
        return UrlResult::Outcome::Refused;
    case CURLE_OPERATION_TIMEDOUT:
        return UrlResult::Outcome::Timeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return UrlResult::Outcome::TlsFailure;
    default:
        return UrlResult::Outcome::Failed;
    }
}

bool IsServerError(int status) { return status >= 500 && status < 600; }

// A Content-Type's media type in lower case, or "invalid" when it holds
// anything but the characters of a type: it is shown and written to JSON as it is.
std::string MediaType(std::string_view header) {
    std::string type = Lower(std::string(header.substr(0, header.find(';'))));
    while (!type.empty() && type.back() == ' ')
        type.pop_back();
    const bool plain = type.size() <= 127 && std::all_of(type.begin(), type.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || std::string_view("!#$&^_.+-/").find(c) != std::string_view::npos;
    });
    return plain ? type : std::string("invalid");
}

// The steps of one request: HEAD (GET for an image), GET where HEAD was
// refused, one retry of a server error, then the https:// probe of an http:// address.
enum class Step { Head, Get, Retry, Probe };

struct Job {
    std::size_t request = 0;
    Step step = Step::Head;
    Clock::time_point notBefore{};
};

struct Transfer {
    Job job;
    std::string url;
    bool image = false;
    bool wantBody = false;
    bool cutShort = false; // we ended the body ourselves: that is an answer
    std::string body;
    std::size_t limit = 0;
    char error[CURL_ERROR_SIZE] = {};
    CURL* easy = nullptr;
};

std::size_t Discard(char*, std::size_t, std::size_t, void*) { return 0; }

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    if (!t->wantBody) {
        // The status and headers are all we need: stop before the body.
        t->cutShort = true;
        return 0;
    }
    const std::size_t n = size * count;
    t->body.append(data, std::min(n, t->limit - t->body.size()));
    if (t->body.size() >= t->limit) {
        t->cutShort = true;
        return 0;
    }
    // Once the header holds the size the rest is not needed, but a small image
    // is read to its end so its connection can serve the next request.
    curl_off_t length = -1;
    curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    int w = 0, h = 0;
    if ((length < 0 || static_cast<std::size_t>(length) > t->limit) && PixelSize(t->body, w, h)) {
        t->cutShort = true;
        return 0;
    }
    return n;
}

// Trust store: the usual variables, as curl's own tool reads them.
void SetTrust(CURL* easy) {
    const char* bundle = std::getenv("CURL_CA_BUNDLE");
    if (!bundle || !*bundle)
        bundle = std::getenv("SSL_CERT_FILE");
    if (bundle && *bundle)
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
    if (const char* dir = std::getenv("SSL_CERT_DIR"); dir && *dir)
        curl_easy_setopt(easy, CURLOPT_CAPATH, dir);
}

class Fetcher {
public:
    Fetcher(const std::vector<UrlRequest>& requests, const LinkCheckOptions& options)
        : m_requests(requests), m_options(options), m_results(requests.size()), m_retried(requests.size(), false),
          m_userAgent(LinkCheckUserAgent()) {
        m_multi = curl_multi_init();
        for (std::size_t i = 0; i < requests.size(); ++i) {
            m_results[i].finalUrl = requests[i].url;
            Queue({i, requests[i].image ? Step::Get : Step::Head, {}});
        }
    }
    ~Fetcher() {
        for (auto& [easy, t] : m_active) {
            curl_multi_remove_handle(m_multi, easy);
            curl_easy_cleanup(easy);
        }
        curl_multi_cleanup(m_multi);
    }

    std::map<std::string, UrlResult> Run(const LinkProgress& progress, const std::atomic<bool>* stop,
                                         const LinkAnswer& answer) {
        std::vector<bool> finished(m_requests.size(), false);
        std::size_t done = 0;
        if (progress)
            progress(0, m_requests.size());
        while (m_queued > 0 || !m_active.empty()) {
            if (stop && stop->load())
                break;
            StartWhatMay();
            int running = 0;
            curl_multi_perform(m_multi, &running);
            int left = 0;
            bool freed = false;
            while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
                if (msg->msg != CURLMSG_DONE)
                    continue;
                CURL* easy = msg->easy_handle;
                const CURLcode code = msg->data.result;
                auto it = m_active.find(easy);
                std::unique_ptr<Transfer> t = std::move(it->second);
                m_active.erase(it);
                curl_multi_remove_handle(m_multi, easy);
                --m_hostActive[HostOf(t->job.request)];
                freed = true;
                if (Finish(*t, code)) {
                    const std::size_t i = t->job.request;
                    finished[i] = true;
                    m_results[i].checkedAt = static_cast<std::int64_t>(std::time(nullptr));
                    if (answer)
                        answer(ResultKey(m_requests[i]), m_results[i]);
                    ++done;
                    if (progress)
                        progress(done, m_requests.size());
                }
                curl_easy_cleanup(easy);
            }
            // A freed slot is filled at once, not after the next wait.
            if (!freed && (m_queued > 0 || !m_active.empty()))
                curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(PollMs()), nullptr);
        }
        std::map<std::string, UrlResult> out;
        for (std::size_t i = 0; i < m_requests.size(); ++i)
            if (finished[i])
                out[ResultKey(m_requests[i])] = std::move(m_results[i]);
        return out;
    }

private:
    const std::string& HostOf(std::size_t request) {
        auto it = m_hostOf.find(request);
        if (it == m_hostOf.end()) {
            const UrlParts p = PartsOf(m_requests[request].url);
            it = m_hostOf.emplace(request, p.host + ":" + p.port).first;
        }
        return it->second;
    }

    void Queue(const Job& job) {
        const std::string& host = HostOf(job.request);
        auto& queue = m_pending[host];
        if (queue.empty())
            m_hosts.push_back(host);
        // A follow-up step of a request goes first: its request is already under way.
        if (job.step == Step::Head || (job.step == Step::Get && m_requests[job.request].image))
            queue.push_back(job);
        else
            queue.push_front(job);
        ++m_queued;
    }

    long PollMs() const {
        long ms = 100;
        const auto now = Clock::now();
        for (const auto& [host, queue] : m_pending)
            for (const Job& job : queue)
                if (job.notBefore > now)
                    ms = std::min<long>(
                        ms, std::chrono::duration_cast<std::chrono::milliseconds>(job.notBefore - now).count() + 1);
        return std::max(ms, 1L);
    }

    // Hosts take turns, one request each, so they drain together: a host left
    // alone at the end could only use its own two slots.
    void StartWhatMay() {
        const auto now = Clock::now();
        std::size_t idle = 0; // hosts in a row that could start nothing
        while (static_cast<int>(m_active.size()) < m_options.total && !m_hosts.empty() && idle < m_hosts.size()) {
            if (m_turn >= m_hosts.size())
                m_turn = 0;
            const std::string host = m_hosts[m_turn];
            auto& queue = m_pending[host];
            auto ready = queue.end();
            if (m_hostActive[host] < m_options.perHost)
                ready = std::find_if(queue.begin(), queue.end(), [&](const Job& j) { return j.notBefore <= now; });
            if (ready == queue.end()) {
                ++m_turn;
                ++idle;
                continue;
            }
            const Job job = *ready;
            queue.erase(ready);
            --m_queued;
            Start(job);
            ++m_hostActive[host];
            idle = 0;
            if (queue.empty()) {
                m_pending.erase(host);
                m_hosts.erase(m_hosts.begin() + static_cast<std::ptrdiff_t>(m_turn));
            } else {
                ++m_turn;
            }
        }
    }

    void Start(const Job& job) {
        const UrlRequest& request = m_requests[job.request];
        auto t = std::make_unique<Transfer>();
        t->job = job;
        t->image = request.image;
        t->url = job.step == Step::Probe ? HttpsVersion(request.url) : request.url;
        const bool head = job.step == Step::Head || (job.step == Step::Probe && !request.image);
        t->wantBody = request.image;
        t->limit = m_options.getLimit;
        CURL* easy = curl_easy_init();
        t->easy = easy;
        curl_easy_setopt(easy, CURLOPT_URL, t->url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        // The https:// twin counts only if it stays on https://.
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, job.step == Step::Probe ? "https" : "http,https");
        // A stopped run does not wait for name lookups under way.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(m_options.maxRedirects));
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_options.connectTimeout.count()));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_options.totalTimeout.count()));
        curl_easy_setopt(easy, CURLOPT_USERAGENT, m_userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->error);
        curl_easy_setopt(easy, CURLOPT_NOBODY, head ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, head ? &Discard : &Collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, t.get());
        SetTrust(easy);
        curl_multi_add_handle(m_multi, easy);
        m_active.emplace(easy, std::move(t));
    }

    // Takes a finished step; true when the request needs no further step.
    bool Finish(Transfer& t, CURLcode code) {
        const std::size_t i = t.job.request;
        const UrlRequest& request = m_requests[i];
        UrlResult& r = m_results[i];
        const bool answered = code == CURLE_OK || (code == CURLE_WRITE_ERROR && t.cutShort);
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);

        if (t.job.step == Step::Probe) {
            // The same over https://: an answer of the same kind, and for an
            // image the same picture size.
            if (answered && status >= 200 && status < 300) {
                int w = 0, h = 0;
                PixelSize(t.body, w, h);
                r.httpsAvailable =
                    !request.image || (w > 0 && h > 0 && w == r.imageWidth && h == r.imageHeight);
            }
            return true;
        }

        r.outcome = answered ? UrlResult::Outcome::Answered : OutcomeOf(code);
        r.status = answered ? static_cast<int>(status) : 0;
        r.error = answered ? std::string() : std::string(*t.error ? t.error : curl_easy_strerror(code));
        char* effective = nullptr;
        if (curl_easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            r.finalUrl = effective;
        long redirects = 0;
        curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_COUNT, &redirects);
        r.redirects = static_cast<int>(redirects);
        char* type = nullptr;
        r.contentType.clear();
        if (curl_easy_getinfo(t.easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
            r.contentType = MediaType(type);
        // Slow is the wait for the answer that counts: the HEAD, or the GET that replaced it.
        if (t.job.step != Step::Retry) {
            curl_off_t firstByte = 0;
            curl_easy_getinfo(t.easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByte);
            r.slow = answered && firstByte > static_cast<curl_off_t>(m_options.slowAfter.count()) * 1000;
        }
        if (request.image) {
            r.emptyBody = answered && t.body.empty();
            r.imageWidth = r.imageHeight = 0;
            PixelSize(t.body, r.imageWidth, r.imageHeight);
        }

        // A server that refuses or mishandles HEAD gets the same question by GET.
        if (t.job.step == Step::Head &&
            (r.status >= 400 || r.outcome == UrlResult::Outcome::Failed)) {
            Queue({i, Step::Get, {}});
            return false;
        }
        // A server error may pass: one more try, after a pause.
        if (answered && IsServerError(r.status) && !m_retried[i]) {
            m_retried[i] = true;
            Queue({i, Step::Retry, Clock::now() + m_options.retryPause});
            return false;
        }
        // Only an address on the standard port has an https:// twin to try.
        if (m_options.probeHttps && answered && r.status >= 200 && r.status < 300 &&
            StartsWithNoCase(request.url, "http://") && !PartsOf(request.url).portWritten) {
            Queue({i, Step::Probe, {}});
            return false;
        }
        return true;
    }

    const std::vector<UrlRequest>& m_requests;
    const LinkCheckOptions& m_options;
    std::vector<UrlResult> m_results;
    std::vector<bool> m_retried;
    std::string m_userAgent;
    CURLM* m_multi = nullptr;
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> m_active;
    std::unordered_map<std::size_t, std::string> m_hostOf;
    std::map<std::string, std::deque<Job>> m_pending;
    std::vector<std::string> m_hosts; // hosts with pending jobs, in turn order
    std::size_t m_turn = 0;           // the host whose turn is next
    std::unordered_map<std::string, int> m_hostActive;
    std::size_t m_queued = 0;
};

// "1×1" etc. for the report.
std::string SizeText(int w, int h) {
    return std::to_string(w) + "×" + std::to_string(h);
}

std::string DeadNote(const UrlResult& r) {
    switch (r.outcome) {
    case UrlResult::Outcome::NoSuchHost:
        return "ホスト名が見つかりません";
    case UrlResult::Outcome::Refused:
        return "接続できません";
    case UrlResult::Outcome::Timeout:
        return "応答がありません";
    case UrlResult::Outcome::Answered:
        return "HTTP " + std::to_string(r.status);
    default:
        return r.error;
    }
}

const char* OutcomeId(UrlResult::Outcome outcome) {
    switch (outcome) {
    case UrlResult::Outcome::Answered:
        return "answered";
    case UrlResult::Outcome::NoSuchHost:
        return "no-such-host";
    case UrlResult::Outcome::Refused:
        return "refused";
    case UrlResult::Outcome::Timeout:
        return "timeout";
    case UrlResult::Outcome::TlsFailure:
        return "tls";
    case UrlResult::Outcome::LocalFailure:
        return "local";
    case UrlResult::Outcome::Failed:
        break;
    }
    return "failed";
}

UrlResult::Outcome OutcomeFromId(const std::string& id) {
    for (auto o : {UrlResult::Outcome::Answered, UrlResult::Outcome::NoSuchHost, UrlResult::Outcome::Refused,
                   UrlResult::Outcome::Timeout, UrlResult::Outcome::TlsFailure})
        if (id == OutcomeId(o))
            return o;
    return UrlResult::Outcome::Failed;
}

} // namespace

std::string ResultKey(const UrlRequest& request) {
    return (request.image ? "image " : "link ") + request.url;
}

std::string FetchableUrl(const std::string& written) {
    std::string url = written;
    if (url.rfind("//", 0) == 0)
        url = "https:" + url;
    else if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://"))
        return {};
    // What a browser sends: tabs and line breaks dropped, blanks and non-ASCII
    // after the host percent-encoded. A Japanese host name stays as written;
    // libcurl turns it into its ASCII form.
    static const char hex[] = "0123456789ABCDEF";
    url.erase(std::remove_if(url.begin(), url.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }),
              url.end());
    const std::size_t authority = url.find("//") + 2;
    const std::size_t pathStart = std::min(url.find_first_of("/?#", authority), url.size());
    std::string out = url.substr(0, pathStart);
    out.reserve(url.size());
    for (char c : std::string_view(url).substr(pathStart)) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7f) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string LinkCheckUserAgent() {
    return std::string("zova_af/") + ZOVA_VERSION + " (link check; " + std::string(Publisher::kHomePageUrl) + ")";
}

std::map<std::string, UrlResult> FetchUrls(const std::vector<UrlRequest>& requests, const LinkCheckOptions& options,
                                           const LinkProgress& progress, const std::atomic<bool>* stop,
                                           const LinkAnswer& answer) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
    // Each address once, whatever number of banners share it.
    std::vector<UrlRequest> distinct;
    std::set<std::string> keys;
    for (const UrlRequest& r : requests)
        if (keys.insert(ResultKey(r)).second)
            distinct.push_back(r);
    return Fetcher(distinct, options).Run(progress, stop, answer);
}

std::vector<TagFinding> LinkFindings(const std::vector<TagUrl>& urls,
                                     const std::map<std::string, UrlResult>& results) {
    std::vector<TagFinding> out;
    for (const TagUrl& u : urls) {
        const std::string fetchable = FetchableUrl(u.url);
        if (fetchable.empty()) {
            out.push_back({TagProblem::LinkNotChecked, TagSeverity::Info, u.url, 0, {}, {}});
            continue;
        }
        const bool image = u.kind == TagUrlKind::Image;
        auto it = results.find(ResultKey({fetchable, image}));
        if (it == results.end())
            continue;
        const UrlResult& r = it->second;
        auto add = [&](TagProblem problem, TagSeverity severity, std::string note) {
            out.push_back({problem, severity, u.url, r.status, r.finalUrl, std::move(note)});
        };
        const TagProblem dead = image ? TagProblem::ImageDead : TagProblem::LinkDead;
        if (r.outcome == UrlResult::Outcome::LocalFailure) {
            add(TagProblem::LinkNotChecked, TagSeverity::Info, r.error);
            continue;
        }
        if (r.outcome == UrlResult::Outcome::TlsFailure) {
            add(TagProblem::TlsError, TagSeverity::Error, r.error);
            continue;
        }
        if (r.outcome != UrlResult::Outcome::Answered || r.status == 404 || r.status == 410 ||
            IsServerError(r.status)) {
            add(dead, TagSeverity::Error, DeadNote(r));
            continue;
        }
        if (image && r.status >= 200 && r.status < 300) {
            const bool readable = r.imageWidth > 0 && r.imageHeight > 0;
            if (r.emptyBody)
                add(TagProblem::NotAnImage, TagSeverity::Error, "空の応答");
            else if (!readable && !r.contentType.empty() && r.contentType.rfind("image/", 0) != 0)
                add(TagProblem::NotAnImage, TagSeverity::Error, r.contentType);
            else if (readable && ((u.width > 0 && u.width != r.imageWidth) || (u.height > 0 && u.height != r.imageHeight)))
                add(TagProblem::ImageSizeMismatch, TagSeverity::Warning,
                    "画像 " + SizeText(r.imageWidth, r.imageHeight) + "、タグ " +
                        SizeText(u.width > 0 ? u.width : r.imageWidth, u.height > 0 ? u.height : r.imageHeight));
        }
        if (u.kind == TagUrlKind::Link && r.redirects > 0) {
            const UrlParts from = PartsOf(fetchable);
            const UrlParts to = PartsOf(r.finalUrl);
            if (!to.host.empty() && to.host != from.host && (to.path.empty() || to.path == "/"))
                add(TagProblem::RedirectElsewhere, TagSeverity::Warning, r.finalUrl);
        }
        if (r.slow)
            add(TagProblem::Slow, TagSeverity::Info, "");
        if (r.httpsAvailable)
            add(TagProblem::HttpsAvailable, TagSeverity::Info, HttpsVersion(fetchable));
    }
    return out;
}

std::vector<std::string> ResultKeysOf(const std::vector<TagUrl>& urls) {
    std::vector<std::string> keys;
    for (const TagUrl& u : urls)
        if (std::string url = FetchableUrl(u.url); !url.empty())
            keys.push_back(ResultKey({url, u.kind == TagUrlKind::Image}));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

bool AnyLinkResult(const std::vector<TagUrl>& urls, const std::map<std::string, UrlResult>& results) {
    const std::vector<std::string> keys = ResultKeysOf(urls);
    return std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return results.count(key) > 0; });
}

LinkResultCache::LinkResultCache(std::string path) : m_path(std::move(path)) {}

void LinkResultCache::Load() {
    m_results.clear();
    std::string text;
    if (m_path.empty() || FileOps::FileSize(m_path) > 256LL * 1024 * 1024 || !FileOps::ReadWholeFile(m_path, text))
        return;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object() || !doc.contains("results") || !doc["results"].is_object())
        return;
    for (const auto& entry : doc["results"].items()) {
        const nlohmann::json& e = entry.value();
        if (!e.is_object())
            continue;
        UrlResult r;
        auto textOf = [&e](const char* name) {
            auto it = e.find(name);
            return it != e.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        auto number = [&e](const char* name) -> std::int64_t {
            auto it = e.find(name);
            return it != e.end() && it->is_number_integer() ? it->get<std::int64_t>() : 0;
        };
        auto flag = [&e](const char* name) {
            auto it = e.find(name);
            return it != e.end() && it->is_boolean() && it->get<bool>();
        };
        r.outcome = OutcomeFromId(textOf("outcome"));
        r.status = static_cast<int>(std::clamp<std::int64_t>(number("status"), 0, 999));
        r.finalUrl = textOf("finalUrl");
        r.redirects = static_cast<int>(std::clamp<std::int64_t>(number("redirects"), 0, 100));
        r.contentType = textOf("type");
        r.emptyBody = flag("empty");
        r.imageWidth = static_cast<int>(std::clamp<std::int64_t>(number("width"), 0, 1 << 24));
        r.imageHeight = static_cast<int>(std::clamp<std::int64_t>(number("height"), 0, 1 << 24));
        r.slow = flag("slow");
        r.httpsAvailable = flag("https");
        r.error = textOf("error");
        r.checkedAt = number("checkedAt");
        if (r.checkedAt > 0)
            m_results[entry.key()] = std::move(r);
    }
}

bool LinkResultCache::Save() const {
    if (m_path.empty())
        return false;
    // Answers older than a week are of no use to anyone: the file does not grow for ever.
    const std::int64_t oldest = static_cast<std::int64_t>(std::time(nullptr)) - 7 * 24 * 3600;
    nlohmann::json results = nlohmann::json::object();
    for (const auto& [key, r] : m_results) {
        if (r.checkedAt < oldest)
            continue;
        results[key] = {{"outcome", OutcomeId(r.outcome)},
                        {"status", r.status},
                        {"finalUrl", r.finalUrl},
                        {"redirects", r.redirects},
                        {"type", r.contentType},
                        {"empty", r.emptyBody},
                        {"width", r.imageWidth},
                        {"height", r.imageHeight},
                        {"slow", r.slow},
                        {"https", r.httpsAvailable},
                        {"error", r.error},
                        {"checkedAt", r.checkedAt}};
    }
    FileOps::MakeDirs(FileOps::DirName(m_path), 0700);
    const nlohmann::json doc = {{"version", 1}, {"results", std::move(results)}};
    return FileOps::ReplaceFileAtomic(m_path, doc.dump(0, ' ', false, nlohmann::json::error_handler_t::replace), true);
}

const UrlResult* LinkResultCache::Find(const std::string& key, std::int64_t now, std::chrono::seconds maxAge) const {
    auto it = m_results.find(key);
    if (it == m_results.end() || it->second.checkedAt > now || now - it->second.checkedAt >= maxAge.count())
        return nullptr;
    return &it->second;
}

void LinkResultCache::Put(const std::string& key, const UrlResult& result) {
    m_results[key] = result;
}

std::string DefaultLinkCachePath() {
    return AppPaths::StateDir() + "linkcheck.json";
}

LinkCheckRun CheckLinksOnline(std::vector<BannerCheck> banners, const LinkCheckSetup& setup,
                              const LinkProgress& progress, const std::atomic<bool>* stop, const LinkAnswer& answer) {
    LinkCheckRun run;
    std::vector<std::vector<TagUrl>> urls;
    urls.reserve(banners.size());
    std::vector<UrlRequest> wanted;
    std::set<std::string> keys;
    for (const BannerCheck& b : banners) {
        urls.push_back(UrlsOfTag(b.banner->tag));
        for (const TagUrl& u : urls.back()) {
            UrlRequest request{FetchableUrl(u.url), u.kind == TagUrlKind::Image};
            if (!request.url.empty() && keys.insert(ResultKey(request)).second)
                wanted.push_back(std::move(request));
        }
    }
    run.urls = wanted.size();

    LinkResultCache cache(setup.cachePath);
    cache.Load();
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    std::vector<UrlRequest> toFetch;
    for (UrlRequest& request : wanted) {
        const std::string key = ResultKey(request);
        const UrlResult* kept = setup.fresh ? nullptr : cache.Find(key, now, setup.maxAge);
        if (kept) {
            run.results[key] = *kept;
            ++run.fromCache;
            if (answer)
                answer(key, *kept);
        } else {
            toFetch.push_back(std::move(request));
        }
    }
    const std::size_t cached = run.fromCache;
    LinkProgress fetchProgress;
    if (progress)
        fetchProgress = [&](std::size_t done, std::size_t) { progress(cached + done, run.urls); };
    for (auto& [key, result] : FetchUrls(toFetch, setup.options, fetchProgress, stop, answer)) {
        // A fault on this side is worth another try next time.
        if (result.outcome != UrlResult::Outcome::LocalFailure)
            cache.Put(key, result);
        run.results[key] = std::move(result);
    }
    run.stopped = stop && stop->load();
    if (!setup.cachePath.empty() && run.fromCache < run.results.size())
        cache.Save();

    for (std::size_t i = 0; i < banners.size(); ++i) {
        std::vector<TagFinding> online = LinkFindings(urls[i], run.results);
        std::move(online.begin(), online.end(), std::back_inserter(banners[i].findings));
    }
    run.banners = std::move(banners);
    return run;
}
