#pragma once

#include "admanager/htmlgen/TagCheck.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The online check of banner tags: every address a tag uses is fetched once
// per run, and each banner gets findings from what its addresses answered.
// Nothing here runs unless the user starts a check.

// What one address answered.
struct UrlResult {
    // LocalFailure: the fault is on this side (proxy, trust store), not the address's.
    enum class Outcome { Answered, NoSuchHost, Refused, Timeout, TlsFailure, Failed, LocalFailure };
    Outcome outcome = Outcome::Failed;
    int status = 0;            // final HTTP status; 0 without an answer
    std::string finalUrl;      // after redirects
    int redirects = 0;
    std::string contentType;   // media type, lower case, without parameters
    bool emptyBody = false;    // an image fetch that got no bytes
    int imageWidth = 0;        // pixel size read from the first bytes; 0 when they are no image
    int imageHeight = 0;
    bool slow = false;         // the first byte came later than the slow limit
    bool httpsAvailable = false; // an http:// address that answers the same over https://
    std::string error;         // libcurl's words when there was no answer
    std::int64_t checkedAt = 0; // seconds since the epoch
};

struct LinkCheckOptions {
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{15000};
    std::chrono::milliseconds slowAfter{3000};
    std::chrono::milliseconds retryPause{1000}; // before the one retry of a 5xx
    int perHost = 2;
    int total = 16;
    int maxRedirects = 10;
    std::size_t getLimit = 64 * 1024; // bytes read of a GET's body
    bool probeHttps = true;
};

// One address to fetch; an image is fetched with GET for its first bytes,
// anything else with HEAD (GET where HEAD is refused).
struct UrlRequest {
    std::string url; // absolute http:// or https://
    bool image = false;
};
// The key of a request in results and in the cache.
std::string ResultKey(const UrlRequest& request);

// Absolute address to fetch for what a tag wrote, or empty when it is not
// fetched (relative, javascript:, mailto:, data:, ...). "//host/x" is taken as https.
std::string FetchableUrl(const std::string& written);

using LinkProgress = std::function<void(std::size_t done, std::size_t total)>;
// Each address's answer as soon as it is complete (by ResultKey), on the fetching thread.
using LinkAnswer = std::function<void(const std::string& key, const UrlResult& result)>;

// Fetches every distinct request, at most options.perHost at once per host
// and options.total in all. stop may be set from another thread: what has not
// finished by then is left out of the results. Progress is called on the
// calling thread.
std::map<std::string, UrlResult> FetchUrls(const std::vector<UrlRequest>& requests, const LinkCheckOptions& options,
                                           const LinkProgress& progress = {},
                                           const std::atomic<bool>* stop = nullptr, const LinkAnswer& answer = {});

// The findings for a tag's addresses from the results (addresses without a
// result give none, except the note for those that are never fetched).
std::vector<TagFinding> LinkFindings(const std::vector<TagUrl>& urls,
                                     const std::map<std::string, UrlResult>& results);

// The result keys of the addresses that are fetched, each once, sorted.
std::vector<std::string> ResultKeysOf(const std::vector<TagUrl>& urls);

// Whether any of the addresses has a result: a tag that was checked.
bool AnyLinkResult(const std::vector<TagUrl>& urls, const std::map<std::string, UrlResult>& results);

// Results kept between runs: one JSON file in the user's state folder.
class LinkResultCache {
public:
    explicit LinkResultCache(std::string path = {});
    // A damaged or missing file is an empty cache.
    void Load();
    // Written atomically, private to the user, without answers older than a
    // week. False when it could not be.
    bool Save() const;
    // The result when it is younger than maxAge at now.
    const UrlResult* Find(const std::string& key, std::int64_t now, std::chrono::seconds maxAge) const;
    void Put(const std::string& key, const UrlResult& result);
    const std::map<std::string, UrlResult>& All() const { return m_results; }

private:
    std::string m_path;
    std::map<std::string, UrlResult> m_results;
};
// "linkcheck.json" in the state folder.
std::string DefaultLinkCachePath();

struct LinkCheckSetup {
    LinkCheckOptions options;
    std::string cachePath;           // empty: nothing kept
    bool fresh = false;              // fetch again whatever the cache holds
    std::chrono::seconds maxAge{3600};
};

struct LinkCheckRun {
    std::vector<BannerCheck> banners;          // tag findings, then online findings
    std::map<std::string, UrlResult> results;  // by ResultKey, this run's and the cache's
    std::size_t urls = 0;                      // distinct addresses fetched or reused
    std::size_t fromCache = 0;
    bool stopped = false;
};

// The whole check of the given banners (from CheckLibraryTags and friends).
// answer hears of the kept answers first, then of each fetched one.
LinkCheckRun CheckLinksOnline(std::vector<BannerCheck> banners, const LinkCheckSetup& setup,
                              const LinkProgress& progress = {}, const std::atomic<bool>* stop = nullptr,
                              const LinkAnswer& answer = {});

// The program and version the requests name themselves with.
std::string LinkCheckUserAgent();
