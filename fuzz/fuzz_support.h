// Shared by the fuzz targets: a failed expectation ends the run (libFuzzer
// then saves the input), and a byte reader that never runs past the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#define FUZZ_EXPECT(condition)                                                          \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                                   \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

// Like FUZZ_EXPECT, with the two texts that should have been equal.
inline void expect_same_text(std::string_view got, std::string_view want, const char* what) {
    if (got == want) return;
    std::fprintf(stderr, "%s: got \"%.*s\", want \"%.*s\"\n", what, static_cast<int>(got.size()),
                 got.data(), static_cast<int>(want.size()), want.data());
    std::abort();
}

// Takes fields off the front of the input; past its end every field is zero
// or empty, so any input decodes to something.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    [[nodiscard]] bool empty() const { return at_ == size_; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    template <class T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (auto& b : bytes) b = byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    // A length byte, then up to that many bytes.
    std::string text() {
        const std::size_t want = byte();
        const std::size_t take = want < size_ - at_ ? want : size_ - at_;
        std::string out(reinterpret_cast<const char*>(data_ + at_), take);
        at_ += take;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
