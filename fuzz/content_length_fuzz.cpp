// The announced length: parse_content_length against a reference that
// accumulates in 128 bits, and content_length_from_header on raw UTF-16 units.
//
// Input: the first four bytes are the header's byte length (little-endian),
// the rest are both the text for parse_content_length and the units of the
// header buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "net/http_rules.h"

namespace {

// Any sequence of code units (chars or UTF-16 units): an optional '+', then
// one or more ASCII digits whose value fits 64 bits.
template <class Unit>
std::optional<std::uint64_t> reference_length(const Unit* units, std::size_t count) {
    std::size_t at = 0;
    if (count > 0 && units[0] == Unit('+')) at = 1;
    if (at == count) return std::nullopt;
    unsigned __int128 value = 0;
    for (; at < count; ++at) {
        const auto u = static_cast<std::uint32_t>(units[at]);
        if (u < '0' || u > '9') return std::nullopt;
        value = value * 10 + (u - '0');
        if (value > UINT64_MAX) return std::nullopt;
    }
    return static_cast<std::uint64_t>(value);
}

void expect_same_length(std::optional<std::uint64_t> got, std::optional<std::uint64_t> want) {
    FUZZ_EXPECT(got.has_value() == want.has_value());
    if (got) FUZZ_EXPECT(*got == *want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    const auto byte_length = reader.raw<std::uint32_t>();
    const std::size_t head = size < 4 ? size : 4;
    const std::string_view text(reinterpret_cast<const char*>(data + head), size - head);

    expect_same_length(parse_content_length(text), reference_length(text.data(), text.size()));

    // The system fills at most 64 units; the buffer here is exactly as long as
    // the function may read, so a read past it is caught.
    const std::size_t count = std::min<std::size_t>(byte_length / 2, 64);
    std::vector<WideChar> units(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t lo = head + 2 * i, hi = lo + 1;
        units[i] =
            static_cast<WideChar>((lo < size ? data[lo] : 0) | ((hi < size ? data[hi] : 0) << 8));
    }
    std::size_t kept = count;
    while (kept > 0 && units[kept - 1] == 0) --kept;
    expect_same_length(content_length_from_header(units.data(), byte_length),
                       reference_length(units.data(), kept));
    return 0;
}
