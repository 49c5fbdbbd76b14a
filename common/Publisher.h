#pragma once

#include <string_view>

// The publisher's own web pages, shared by both programs (the ad manager's link
// menu and version page, the style-sheet maker's sample tags and credit line).
// Every text here is ASCII, so it is the same in CP932 and UTF-8.
namespace Publisher {

inline constexpr std::string_view kSiteName = "Zelvor Project";
inline constexpr std::string_view kHomePageUrl = "https://zelvor.example/";
inline constexpr std::string_view kAspPagePath = "/software/zova_af/asp/asp.html";
inline constexpr std::string_view kAspPageUrl = "https://zelvor.example/software/zova_af/asp/asp.html";
inline constexpr std::string_view kVersionPagePath = "/software/zova_af/version/version.php";
inline constexpr std::string_view kVersionPageUrl = "https://zelvor.example/software/zova_af/version/version.php";
// Text of the credit link under a styled ad block.
inline constexpr std::string_view kCreditText = "Powered by Zelvor Project";

// The full addresses are spelled out for grep; keep them on the one host.
static_assert(kAspPageUrl.substr(0, kHomePageUrl.size() - 1) == kHomePageUrl.substr(0, kHomePageUrl.size() - 1) &&
              kAspPageUrl.substr(kHomePageUrl.size() - 1) == kAspPagePath);
static_assert(kVersionPageUrl.substr(0, kHomePageUrl.size() - 1) == kHomePageUrl.substr(0, kHomePageUrl.size() - 1) &&
              kVersionPageUrl.substr(kHomePageUrl.size() - 1) == kVersionPagePath);

} // namespace Publisher
