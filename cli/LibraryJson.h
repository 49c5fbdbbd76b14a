#pragma once

#include "admanager/library/LibraryNode.h"

#include <nlohmann/json.hpp>
#include <string>

// The library as JSON (UTF-8) for scripting: the same fields as the file, deleted
// entries left out.
nlohmann::ordered_json LibraryToJson(const AdLibrary& library);

// Builds a library from JSON of the same form. Missing fields take their defaults,
// nodes without "id" get a fresh one. False with a message in error on bad input.
bool LibraryFromJson(const nlohmann::json& json, AdLibrary& library, std::string& error);
