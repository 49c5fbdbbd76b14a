#pragma once

#include <cstdint>
#include <string_view>

// The C library's decimal conversion as the files' home system does it: leading
// blanks and a sign, stop at the first non-digit (no digits give 0), saturating
// at 32 bits. Used for every number typed or stored as text.
std::int32_t DecimalValue(std::string_view text);
