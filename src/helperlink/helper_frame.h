#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hollowmere {

// One message on the helper socket. On the wire, little-endian:
//   u32 length     bytes that follow this field (request id, message, fields)
//   u32 requestId  chosen by the app; a reply carries the id of its request
//   u8  message    the message number (HelperMessage)
//   fields         typed fields (frame_fields.h), exactly as the message declares them
// Replies carry the request id so that several calls can be outstanding on one connection
// and be answered in any order (progress polls while a scan runs).
struct HelperFrame {
    uint32_t requestId = 0;
    uint8_t message = 0;
    std::vector<uint8_t> fields;

    static constexpr size_t lengthBytes = 4;
    static constexpr size_t headerBytes = 9; // length, request id, message
    static constexpr uint32_t minLength = 5;
    // Requests carry at most two paths and a few numbers; anything longer is hostile.
    static constexpr uint32_t maxRequestLength = 64 * 1024;
    // Replies may carry a whole tree; the length field bounds them.
    static constexpr uint32_t maxReplyLength = 0xffffffffu;

    // The length, request id and message number in front of the fields, for writing the two
    // parts without joining them. Throws FrameError when the frame would exceed
    // maxReplyLength.
    std::array<uint8_t, headerBytes> header() const;
    // The whole frame as it travels.
    std::vector<uint8_t> encoded() const;

    friend bool operator==(const HelperFrame&, const HelperFrame&) = default;
};

// Bytes that are not a frame, or a frame that is not the message it claims to be. The
// connection that sent them cannot be trusted to stay in step and is closed.
class FrameError : public std::exception {
public:
    explicit FrameError(std::string message)
        : message_(std::move(message)) {}
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Cuts a byte stream into frames. The length of each frame is checked against `maxLength`
// as soon as its four bytes have arrived, before anything of the body is kept.
class FrameReader {
public:
    explicit FrameReader(uint32_t maxLength)
        : maxLength_(maxLength) {}

    void feed(std::span<const uint8_t> bytes);
    // The next complete frame, or nothing until more bytes arrive. Throws FrameError for a
    // length below the header or above the limit.
    std::optional<HelperFrame> next();
    // Bytes of an unfinished frame are waiting: the stream must not end here.
    bool midFrame() const { return buffer_.size() > start_; }

private:
    uint32_t maxLength_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0; // first byte not yet handed out
};

} // namespace hollowmere
