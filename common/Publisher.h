#pragma once

#include <string_view>

// The publisher's own web pages, shared by both programs (the ad manager's link
// menu and version page, the style-sheet maker's sample tags and credit line),
// all on the one host the package names as its Homepage.
// Every text here is ASCII, so it is the same in CP932 and UTF-8.
namespace Publisher {

inline constexpr std::string_view kSiteName = "Zelvor Project";
inline constexpr std::string_view kHomePageUrl = "https://zelvor.jp/";
inline constexpr std::string_view kVersionPagePath = "/software/zova_af/version/version.php";
inline constexpr std::string_view kVersionPageUrl = "https://zelvor.jp/software/zova_af/version/version.php";
// Text of the credit link under a styled ad block.
inline constexpr std::string_view kCreditText = "Powered by Zelvor Project";

// The full address is spelled out for grep; keep it on the one host. (The ASP
// explanation page ships with the program, html/asp.html.)
static_assert(kVersionPageUrl.substr(0, kHomePageUrl.size() - 1) == kHomePageUrl.substr(0, kHomePageUrl.size() - 1) &&
              kVersionPageUrl.substr(kHomePageUrl.size() - 1) == kVersionPagePath);

} // namespace Publisher
