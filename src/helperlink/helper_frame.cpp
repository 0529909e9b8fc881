#include "helper_frame.h"

#include "little_endian.h"

#include <cstring>

namespace hollowmere {

std::array<uint8_t, HelperFrame::headerBytes> HelperFrame::header() const {
    const uint64_t length = uint64_t{minLength} + fields.size();
    if (length > maxReplyLength) throw FrameError("a frame of " + std::to_string(length) + " bytes");
    std::array<uint8_t, headerBytes> bytes{};
    LittleEndian::put<uint32_t>(bytes.data(), static_cast<uint32_t>(length));
    LittleEndian::put<uint32_t>(bytes.data() + 4, requestId);
    bytes[8] = message;
    return bytes;
}

std::vector<uint8_t> HelperFrame::encoded() const {
    const std::array<uint8_t, headerBytes> head = header();
    std::vector<uint8_t> bytes(headerBytes + fields.size());
    std::memcpy(bytes.data(), head.data(), headerBytes);
    if (!fields.empty()) std::memcpy(bytes.data() + headerBytes, fields.data(), fields.size());
    return bytes;
}

void FrameReader::feed(std::span<const uint8_t> bytes) {
    // Drop what was handed out before growing, so the buffer holds at most one frame and a
    // read's worth of the next.
    if (start_ > 0 && (start_ == buffer_.size() || start_ >= buffer_.size() / 2)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<HelperFrame> FrameReader::next() {
    const size_t available = buffer_.size() - start_;
    if (available < HelperFrame::lengthBytes) return std::nullopt;
    const uint32_t length = LittleEndian::get<uint32_t>(buffer_.data() + start_);
    if (length < HelperFrame::minLength) throw FrameError("a frame of " + std::to_string(length) + " bytes");
    if (length > maxLength_) {
        throw FrameError("a frame of " + std::to_string(length) + " bytes, over the limit of " +
                         std::to_string(maxLength_));
    }
    const size_t total = HelperFrame::lengthBytes + length;
    if (available < total) return std::nullopt;

    HelperFrame frame;
    const uint8_t* head = buffer_.data() + start_;
    frame.requestId = LittleEndian::get<uint32_t>(head + 4);
    frame.message = head[8];
    if (start_ == 0 && total == buffer_.size()) {
        // The buffer is exactly this frame (the usual case for a large reply): keep its
        // storage rather than copy it.
        buffer_.erase(buffer_.begin(), buffer_.begin() + HelperFrame::headerBytes);
        frame.fields = std::move(buffer_);
        buffer_ = {};
        start_ = 0;
    } else {
        frame.fields.assign(head + HelperFrame::headerBytes, head + total);
        start_ += total;
    }
    return frame;
}

} // namespace hollowmere
