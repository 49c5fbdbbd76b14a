#include "admanager/library/BannerRules.h"

#include "common/DecimalValue.h"

#include <algorithm>
#include <limits>

std::int32_t BannerNumberValue(std::string_view text) {
    return DecimalValue(text.substr(0, std::min(text.size(), kNumberTextBytes)));
}

namespace {

int CompareBytes(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    // Zero-terminated texts: the shorter one ends first.
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNumbers(std::int32_t a, std::int32_t b) { return a >= b ? 1 : -1; }

} // namespace

int CompareBanners(const Banner& a, const Banner& b, int column, int direction) {
    int result = 0;
    switch (column) {
    case COL_ASP: result = CompareBytes(a.asp, b.asp); break;
    case COL_ADVERTISER: result = CompareBytes(a.advertiser, b.advertiser); break;
    case COL_NAME: result = CompareBytes(a.name, b.name); break;
    case COL_CPM: result = CompareNumbers(a.cpm, b.cpm); break;
    case COL_CPC: result = CompareNumbers(a.cpc, b.cpc); break;
    case COL_FIXED_RATE: result = CompareNumbers(a.fixedRate, b.fixedRate); break;
    case COL_FIXED_FEE: result = CompareNumbers(a.fixedFee, b.fixedFee); break;
    default: return 0;
    }
    return result * direction;
}

void SortBanners(std::vector<Banner*>& rows, int column, int direction) {
    std::vector<Banner*> buffer(rows.size());
    for (std::size_t width = 1; width < rows.size(); width *= 2) {
        for (std::size_t lo = 0; lo < rows.size(); lo += 2 * width) {
            std::size_t mid = std::min(lo + width, rows.size());
            std::size_t hi = std::min(lo + 2 * width, rows.size());
            std::size_t i = lo, j = mid, out = lo;
            while (i < mid && j < hi)
                buffer[out++] = CompareBanners(*rows[i], *rows[j], column, direction) <= 0 ? rows[i++] : rows[j++];
            while (i < mid)
                buffer[out++] = rows[i++];
            while (j < hi)
                buffer[out++] = rows[j++];
        }
        rows.swap(buffer);
    }
}
