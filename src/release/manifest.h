// The release manifest, read by key search rather than parsed as JSON: only
// the order of four key texts matters, not the nesting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "trust/checksum_rules.h"

// The manifest is small; a server that sends more is refused, not buffered.
inline constexpr std::uint64_t kManifestLimit = std::uint64_t{1} << 20;
inline constexpr const char* kManifestTooLarge = "Release manifest is larger than 1.0 MB.";

struct ReleaseInfo {
    std::string version;  // "latest" when the manifest names none; may be empty
    std::string setup_url;
    std::optional<Sha256> sha256;  // the setup's digest, when the manifest gives one
};

// The string value after the first quoted `key`: the next ":" wherever it is,
// white space, then a quoted value (an escaped "\/" becomes "/", nothing else
// is unescaped). Nothing when the value is not a string.
[[nodiscard]] std::optional<std::string> json_string_field(std::string_view text,
                                                           std::string_view key);

// The manifest body to the release it names, or the reason it names none:
// the first "url" after the platform's key, and a "sha256" in the same span,
// from the key past the url's value to the first "}" outside a string, which
// must then be 64 hex digits.
[[nodiscard]] Result<ReleaseInfo> read_release_manifest(std::string_view body);
