// Feeds arbitrary bytes to the helper's frame reader and message decoders, as a hostile
// client (requests) or a broken helper (replies) would send them. Every frame that decodes
// must encode back to exactly its bytes; anything else must be a FrameError.
#include "helperlink/helper_frame.h"
#include "helperlink/helper_message.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using namespace hollowmere;

namespace {

template <class Decode, class Encode>
void roundTrip(const HelperFrame& frame, Decode decode, Encode encode) {
    try {
        const auto message = decode(frame);
        if (encode(frame.requestId, message) != frame) __builtin_trap();
    } catch (const FrameError&) {
    }
}

// Cuts the stream with pieces of the sizes the first byte picks, so the reader's joining of
// partial reads is exercised too.
void readAll(std::span<const uint8_t> stream, size_t piece, uint32_t limit, bool asReplies) {
    FrameReader reader(limit);
    try {
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.feed(stream.subspan(at, std::min(piece, stream.size() - at)));
            while (std::optional<HelperFrame> frame = reader.next()) {
                if (frame->fields.size() + HelperFrame::minLength > limit) __builtin_trap();
                if (asReplies) {
                    roundTrip(*frame, decodeReply, encodeReply);
                } else {
                    roundTrip(*frame, decodeRequest, encodeRequest);
                }
            }
        }
    } catch (const FrameError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::span<const uint8_t> stream(data + 1, size - 1);
    readAll(stream, piece, HelperFrame::maxRequestLength, false);
    readAll(stream, piece, HelperFrame::maxReplyLength, true);
    return 0;
}
