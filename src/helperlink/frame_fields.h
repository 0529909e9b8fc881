#pragma once

#include "helper_frame.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {

// The type tag in front of every field. Strings and byte blocks are a u32 length and the
// bytes; numbers are their little-endian images; an optional that is absent is the tag alone.
enum class FieldType : uint8_t {
    absent = 0,
    string = 1,
    bytes = 2,
    boolean = 3,
    int32 = 4,
    uint64 = 5,
    int64 = 6,
    float64 = 7,
};

// Appends typed fields to a frame's field bytes.
class FieldWriter {
public:
    explicit FieldWriter(std::vector<uint8_t>& out)
        : out_(out) {}

    void string(std::string_view value);
    void optionalString(const std::optional<std::string>& value);
    void optionalBytes(const std::optional<std::vector<uint8_t>>& value);
    void boolean(bool value);
    void int32(int32_t value);
    void uint64(uint64_t value);
    void int64(int64_t value);
    void float64(double value);

private:
    void tag(FieldType type) { out_.push_back(static_cast<uint8_t>(type)); }
    void lengthAndBytes(const void* data, size_t size);
    template <class T> void number(FieldType type, T value);

    std::vector<uint8_t>& out_;
};

// Reads the fields of one frame in their declared order. Any field of another type, a
// length beyond the frame, a boolean other than 0 or 1, or bytes left over is a FrameError.
class FieldReader {
public:
    explicit FieldReader(std::span<const uint8_t> fields)
        : fields_(fields) {}

    std::string string();
    std::optional<std::string> optionalString();
    std::optional<std::vector<uint8_t>> optionalBytes();
    bool boolean();
    int32_t int32();
    uint64_t uint64();
    int64_t int64();
    double float64();
    // After the last field: nothing may follow.
    void finish() const;

private:
    // Consumes the tag of the next field; true when it is `type`, false when it is `absent`
    // and `absentAllowed`; anything else throws.
    bool tag(FieldType type, bool absentAllowed);
    std::span<const uint8_t> take(size_t count);
    std::span<const uint8_t> lengthAndBytes();
    template <class T> T number(FieldType type);

    std::span<const uint8_t> fields_;
    size_t position_ = 0;
    int index_ = 0; // of the field being read, for messages
};

} // namespace hollowmere
