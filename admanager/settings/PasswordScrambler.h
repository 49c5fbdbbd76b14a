#pragma once

#include <string>
#include <string_view>

// Passwords of the account lists are never written in plain text: they go
// through a fixed chain of 7-bit JIS, Base64 and a constant key, which gives a
// Base64 text that sits safely in an INI value. There is no per-user secret;
// this only keeps passwords from being read at a glance.

// The constant key mixed into every stored form. Stored forms depend on it:
// never change it.
extern const char ScrambleKey[256];

// The stored form of a plain CP932 password (text after a NUL is ignored). An
// empty password gives an empty stored form.
std::string ScramblePassword(std::string_view password);

// The plain password of a stored form. Malformed input gives some text, never
// an error.
std::string UnscramblePassword(std::string_view stored);

// The building blocks, open for tests.
namespace ScrambleSteps {

// Shift_JIS to 7-bit JIS. CR LF becomes LF. Beyond the plain encoding, a CR in
// the 7-bit text marks the next byte as literal (a lone CR or LF, an ESC), so
// every text without NUL comes back byte for byte; characters that have no JIS
// X 0208 code and half-width katakana pass as their own bytes.
std::string JisEncode(std::string_view text);
// 7-bit JIS back to Shift_JIS; an LF not marked literal becomes CR LF.
std::string JisDecode(std::string_view text);
// Standard Base64 with padding.
std::string Base64Encode(std::string_view bytes);
// Lenient Base64: characters outside the alphabet count as 0, a short last
// group is completed with 0, and the result ends at its first NUL byte.
std::string Base64Decode(std::string_view text);

} // namespace ScrambleSteps
