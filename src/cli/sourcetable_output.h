#pragma once
// `tessaly-decode --sourcetable URL`: the caster's mountpoints, one line each
// (tab-separated) or one JSON object each, RTCM 2 ones first. The table is
// read a piece at a time, so that its size does not matter; only whole
// records are printed, and every text from the caster is made safe for a
// terminal first.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "credentials.h"

namespace tessaly::cli {

// Returns the exit status: 0 the whole table, 1 a failure (named on
// standard error after the records that arrived whole), 2 a bad URL.
int print_sourcetable(const std::string& url, bool json, std::ostream& out,
                      const std::optional<credentials::Login>& login = {});

// `text` with every control character (C0, DEL, C1) and every byte that is
// no part of valid UTF-8 replaced by '?': nothing in it can steer a terminal.
std::string terminal_safe(std::string_view text);

}  // namespace tessaly::cli
