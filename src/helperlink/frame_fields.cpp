#include "frame_fields.h"

#include "little_endian.h"

#include <limits>

namespace hollowmere {

namespace {

const char* typeName(uint8_t raw) {
    switch (static_cast<FieldType>(raw)) {
    case FieldType::absent:
        return "absent";
    case FieldType::string:
        return "string";
    case FieldType::bytes:
        return "bytes";
    case FieldType::boolean:
        return "boolean";
    case FieldType::int32:
        return "int32";
    case FieldType::uint64:
        return "uint64";
    case FieldType::int64:
        return "int64";
    case FieldType::float64:
        return "float64";
    }
    return "unknown type";
}

} // namespace

void FieldWriter::lengthAndBytes(const void* data, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) throw FrameError("a field of " + std::to_string(size) + " bytes");
    const size_t at = out_.size();
    out_.resize(at + 4 + size);
    LittleEndian::put<uint32_t>(out_.data() + at, static_cast<uint32_t>(size));
    if (size > 0) std::memcpy(out_.data() + at + 4, data, size);
}

template <class T> void FieldWriter::number(FieldType type, T value) {
    tag(type);
    const size_t at = out_.size();
    out_.resize(at + sizeof value);
    LittleEndian::put<T>(out_.data() + at, value);
}

void FieldWriter::string(std::string_view value) {
    tag(FieldType::string);
    lengthAndBytes(value.data(), value.size());
}

void FieldWriter::optionalString(const std::optional<std::string>& value) {
    if (value) {
        string(*value);
    } else {
        tag(FieldType::absent);
    }
}

void FieldWriter::optionalBytes(const std::optional<std::vector<uint8_t>>& value) {
    if (value) {
        tag(FieldType::bytes);
        lengthAndBytes(value->data(), value->size());
    } else {
        tag(FieldType::absent);
    }
}

void FieldWriter::boolean(bool value) {
    tag(FieldType::boolean);
    out_.push_back(value ? 1 : 0);
}

void FieldWriter::int32(int32_t value) { number(FieldType::int32, value); }
void FieldWriter::uint64(uint64_t value) { number(FieldType::uint64, value); }
void FieldWriter::int64(int64_t value) { number(FieldType::int64, value); }
void FieldWriter::float64(double value) { number(FieldType::float64, value); }

std::span<const uint8_t> FieldReader::take(size_t count) {
    if (count > fields_.size() - position_) {
        throw FrameError("field " + std::to_string(index_) + " runs past the frame");
    }
    const std::span<const uint8_t> taken = fields_.subspan(position_, count);
    position_ += count;
    return taken;
}

bool FieldReader::tag(FieldType type, bool absentAllowed) {
    ++index_;
    if (position_ >= fields_.size()) throw FrameError("field " + std::to_string(index_) + " is missing");
    const uint8_t raw = fields_[position_++];
    if (raw == static_cast<uint8_t>(type)) return true;
    if (absentAllowed && raw == static_cast<uint8_t>(FieldType::absent)) return false;
    throw FrameError("field " + std::to_string(index_) + " is " + typeName(raw) + ", not " +
                     typeName(static_cast<uint8_t>(type)));
}

std::span<const uint8_t> FieldReader::lengthAndBytes() {
    const uint32_t length = LittleEndian::get<uint32_t>(take(4).data());
    return take(length);
}

template <class T> T FieldReader::number(FieldType type) {
    tag(type, false);
    return LittleEndian::get<T>(take(sizeof(T)).data());
}

std::string FieldReader::string() {
    tag(FieldType::string, false);
    const std::span<const uint8_t> bytes = lengthAndBytes();
    return std::string(bytes.begin(), bytes.end());
}

std::optional<std::string> FieldReader::optionalString() {
    if (!tag(FieldType::string, true)) return std::nullopt;
    const std::span<const uint8_t> bytes = lengthAndBytes();
    return std::string(bytes.begin(), bytes.end());
}

std::optional<std::vector<uint8_t>> FieldReader::optionalBytes() {
    if (!tag(FieldType::bytes, true)) return std::nullopt;
    const std::span<const uint8_t> bytes = lengthAndBytes();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool FieldReader::boolean() {
    tag(FieldType::boolean, false);
    const uint8_t value = take(1)[0];
    if (value > 1) throw FrameError("field " + std::to_string(index_) + " is a boolean of " + std::to_string(value));
    return value == 1;
}

int32_t FieldReader::int32() { return number<int32_t>(FieldType::int32); }
uint64_t FieldReader::uint64() { return number<uint64_t>(FieldType::uint64); }
int64_t FieldReader::int64() { return number<int64_t>(FieldType::int64); }
double FieldReader::float64() { return number<double>(FieldType::float64); }

void FieldReader::finish() const {
    if (position_ != fields_.size()) {
        throw FrameError(std::to_string(fields_.size() - position_) + " bytes after the last field");
    }
}

} // namespace hollowmere
