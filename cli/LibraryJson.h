#pragma once

#include "admanager/library/LibraryNode.h"

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

// The library as JSON (UTF-8) for scripting, written to out as it goes: the same
// fields as the file, deleted entries left out, two-space indented, a line end last.
void WriteLibraryJson(const AdLibrary& library, std::ostream& out);

// Builds a library from JSON of the same form. Missing fields take their defaults,
// nodes without "id" get a fresh one. False with a message in error on bad input.
bool LibraryFromJson(const nlohmann::json& json, AdLibrary& library, std::string& error);
