#pragma once

#include <string>

// The program folder: where the programs, their pages and the settings file
// live. Always ends in '/'.
namespace ModuleDir {

// The directory of the running program, or the override when one is set.
std::string Get();

// Makes Get() return dir (a trailing '/' is added when missing); an empty text
// clears the override. Used by the command line's --module-dir and by tests.
void SetOverride(const std::string& dir);

} // namespace ModuleDir
