// A growable byte buffer whose allocations report failure instead of ending
// the process: a download may be larger than the memory there is, and that
// must end in a sentence on the window, not in a vanished window.
#pragma once

#include <cstddef>

class ByteBuffer {
public:
    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // Room for at least `capacity` bytes in all; false when it cannot be had.
    [[nodiscard]] bool reserve(std::size_t capacity);
    // Where `count` more bytes can be written after the end, growing the
    // buffer when needed; null when memory runs out (the contents stay).
    [[nodiscard]] char* room_for(std::size_t count);
    // Counts `count` bytes written into the room as part of the contents.
    void commit(std::size_t count) { size_ += count; }

    [[nodiscard]] const char* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] const char* begin() const { return data_; }
    [[nodiscard]] const char* end() const { return data_ + size_; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
