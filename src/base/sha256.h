#pragma once

#include <array>
#include <cstdint>

// A SHA-256 digest, as the manifest gives it and as the download is checked.
using Sha256 = std::array<std::uint8_t, 32>;
