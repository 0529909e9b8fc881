#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace hollowmere::LittleEndian {

static_assert(std::endian::native == std::endian::little, "the helper protocol assumes a little-endian host");

// Unaligned reads and writes of little-endian numbers in a byte buffer.
template <class T> T get(const uint8_t* at) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T> void put(uint8_t* at, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(at, &value, sizeof value);
}

} // namespace hollowmere::LittleEndian
