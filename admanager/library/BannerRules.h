#pragma once

#include "admanager/library/LibraryNode.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Rules the banner panes apply to banner fields, kept free of widgets.

// Bytes of a text field read when it is taken as a number.
constexpr std::size_t kNumberTextBytes = 254;

// The value of a number field as typed: leading blanks and a sign, then the
// leading digits; 0 when there are none. Values beyond 32 bits saturate.
std::int32_t BannerNumberValue(std::string_view text);

// Columns of the banner list, in display order.
enum BannerColumn : int {
    COL_ASP = 0,
    COL_ADVERTISER,
    COL_NAME,
    COL_CPM,
    COL_CPC,
    COL_FIXED_RATE,
    COL_FIXED_FEE,
    COL_COUNT
};

// Sort comparison of two banners by a column, times direction (+1 or -1).
// Texts compare as unsigned bytes; numbers give +1 when the first is greater
// than or equal to the second, so two equal numbers never compare equal.
int CompareBanners(const Banner& a, const Banner& b, int column, int direction);

// Sorts rows by CompareBanners. A merge sort that takes the left row unless it
// compares greater: it needs no consistent ordering (the number rule is not one).
void SortBanners(std::vector<Banner*>& rows, int column, int direction);
