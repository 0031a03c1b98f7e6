#include "base/byte_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

ByteBuffer::~ByteBuffer() {
    std::free(data_);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

bool ByteBuffer::reserve(std::size_t capacity) {
    if (capacity <= capacity_) return true;
    // No allocation may exceed PTRDIFF_MAX; the C runtime need not say so.
    if (capacity > static_cast<std::size_t>(PTRDIFF_MAX)) return false;
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) return false;
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
    return true;
}

char* ByteBuffer::room_for(std::size_t count) {
    if (count > SIZE_MAX - size_) return nullptr;
    const std::size_t needed = size_ + count;
    if (needed > capacity_) {
        // Doubling keeps the copies few; when the double cannot be had, the
        // exact size may still fit.
        const std::size_t doubled = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
        if (!(doubled > needed && reserve(doubled)) && !reserve(needed)) return nullptr;
    }
    return data_ + size_;
}
