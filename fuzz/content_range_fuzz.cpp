// parse_content_range against a reference that reads the three numbers in
// one pass, in 128 bits, each ended by the character the form expects.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fuzz_support.h"
#include "net/http_rules.h"

namespace {

std::optional<ContentRange> reference_range(std::string_view text) {
    const std::string_view unit = "bytes ";
    if (text.substr(0, unit.size()) != unit) return std::nullopt;
    std::size_t at = unit.size();
    const char ends[3] = {'-', '/', '\0'};  // '\0': the end of the text
    std::uint64_t numbers[3];
    for (int n = 0; n < 3; ++n) {
        unsigned __int128 value = 0;
        const std::size_t start = at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            if (value > UINT64_MAX) return std::nullopt;
        }
        if (at == start) return std::nullopt;
        if (ends[n] == '\0' ? at != text.size() : at == text.size() || text[at++] != ends[n]) {
            return std::nullopt;
        }
        numbers[n] = static_cast<std::uint64_t>(value);
    }
    if (numbers[0] > numbers[1] || numbers[1] >= numbers[2]) return std::nullopt;
    return ContentRange{numbers[0], numbers[1], numbers[2]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<ContentRange> got = parse_content_range(text);
    const std::optional<ContentRange> want = reference_range(text);
    FUZZ_EXPECT(got.has_value() == want.has_value());
    if (got) {
        FUZZ_EXPECT(got->first == want->first);
        FUZZ_EXPECT(got->last == want->last);
        FUZZ_EXPECT(got->total == want->total);
    }
    return 0;
}
