#pragma once

#include "admanager/settings/AccountLists.h"

#include <string_view>

// The host entry the upload dialog selects first for an ad item's stored host
// name: the first entry whose name begins with that name, ignoring the case of
// single-byte ASCII letters; the first entry when none does (an empty name
// matches the first). -1 for an empty list.
int PreselectHost(const FtpHostList& list, std::string_view storedName);

// True when name begins with prefix under the rule above; a double-byte
// character is compared as its two bytes, never folded.
bool HostNameStartsWith(std::string_view name, std::string_view prefix);

// Outside the upload dialog, where nobody sees which host was picked: the
// entry whose name equals storedName under the same rule, or -1. A renamed
// or missing host never sends an item somewhere else.
int FindHostByName(const FtpHostList& list, std::string_view storedName);
