// The release manifest, read by key search rather than parsed as JSON: only
// the order of four key texts matters, not the nesting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

struct ReleaseInfo {
    std::string version;  // "latest" when the manifest names none; may be empty
    std::string setup_url;
};

// The string value after the first quoted `key`: the next ":" wherever it is,
// white space, then a quoted value (an escaped "\/" becomes "/", nothing else
// is unescaped). Nothing when the value is not a string.
[[nodiscard]] std::optional<std::string> json_string_field(std::string_view text,
                                                           std::string_view key);

// The manifest body to the release it names, or the reason it names none.
[[nodiscard]] Result<ReleaseInfo> read_release_manifest(std::string_view body);
