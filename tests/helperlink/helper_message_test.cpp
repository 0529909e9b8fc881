// The frames and messages both programs speak.
#include "helperlink/helper_frame.h"
#include "helperlink/helper_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace hollowmere;

namespace {

// Raw frame bytes: length, request id 7, message, fields.
std::vector<uint8_t> frame(uint32_t length, uint8_t message, const std::vector<uint8_t>& fields) {
    std::vector<uint8_t> bytes(9 + fields.size());
    std::memcpy(bytes.data(), &length, 4);
    bytes[4] = 7;
    bytes[8] = message;
    if (!fields.empty()) std::memcpy(bytes.data() + 9, fields.data(), fields.size());
    return bytes;
}

std::vector<uint8_t> concatenate(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Feeds `bytes` in pieces of `step` and collects the frames.
std::vector<HelperFrame> cut(const std::vector<uint8_t>& bytes, size_t step, uint32_t limit) {
    FrameReader reader(limit);
    std::vector<HelperFrame> frames;
    for (size_t at = 0; at < bytes.size(); at += step) {
        reader.feed(std::span<const uint8_t>(bytes).subspan(at, std::min(step, bytes.size() - at)));
        while (std::optional<HelperFrame> frame = reader.next()) frames.push_back(std::move(*frame));
    }
    EXPECT_FALSE(reader.midFrame());
    return frames;
}

const std::vector<HelperRequest> everyRequest = {
    HelloRequest{},
    QuitRequest{},
    ScanRequest{"/home/ann/Música"},
    ScanProgressRequest{},
    CancelScanRequest{},
    TrashOwnerRequest{""},
    MoveToTrashRequest{"/srv/a b", 1700000000.25},
    PutBackRequest{"/home/bob/.local/share/Trash/files/x 2", "/home/bob/x", -5, 0xfedcba9876543210ull},
};

const std::vector<HelperReply> everyReply = {
    HelloReply{"123-45.6-789", true, false},
    QuitReply{},
    ScanReply{std::vector<uint8_t>{0x31, 0x54, 0x48, 0x57, 0, 255}, std::nullopt},
    ScanReply{std::vector<uint8_t>{}, std::nullopt},
    ScanReply{std::nullopt, "cancelled"},
    ScanReply{std::nullopt, std::nullopt},
    ScanProgressReply{-1, 0xffffffffffffffffull, "/usr/share"},
    TrashOwnerReply{1000, "ann", false, std::nullopt},
    TrashOwnerReply{-1, std::nullopt, true, "its folder is gone"},
    MoveToTrashReply{"/t/files/x", 1000, -1, 42, std::nullopt},
    MoveToTrashReply{std::nullopt, -1, 0, 0, "made after the scan began"},
    PutBackReply{std::nullopt},
    PutBackReply{"taken"},
};

} // namespace

TEST(HelperMessage, EveryMessageCrossesIntact) {
    std::vector<std::vector<uint8_t>> requests;
    for (size_t i = 0; i < everyRequest.size(); ++i) {
        requests.push_back(encodeRequest(static_cast<uint32_t>(100 + i), everyRequest[i]).encoded());
    }
    std::vector<std::vector<uint8_t>> replies;
    for (size_t i = 0; i < everyReply.size(); ++i) {
        replies.push_back(encodeReply(static_cast<uint32_t>(200 + i), everyReply[i]).encoded());
    }
    // One stream each, cut at every size from one byte to all at once.
    for (size_t step : {size_t{1}, size_t{3}, size_t{10}, size_t{4096}}) {
        const std::vector<HelperFrame> requestFrames = cut(concatenate(requests), step, HelperFrame::maxRequestLength);
        ASSERT_EQ(requestFrames.size(), everyRequest.size());
        for (size_t i = 0; i < everyRequest.size(); ++i) {
            EXPECT_EQ(requestFrames[i].requestId, 100 + i);
            EXPECT_EQ(requestFrames[i].message, static_cast<uint8_t>(i + 1));
            EXPECT_EQ(decodeRequest(requestFrames[i]), everyRequest[i]) << "request " << i;
        }
        const std::vector<HelperFrame> replyFrames = cut(concatenate(replies), step, HelperFrame::maxReplyLength);
        ASSERT_EQ(replyFrames.size(), everyReply.size());
        for (size_t i = 0; i < everyReply.size(); ++i) {
            EXPECT_EQ(replyFrames[i].requestId, 200 + i);
            EXPECT_EQ(static_cast<HelperMessage>(replyFrames[i].message), messageOf(everyReply[i]));
            EXPECT_EQ(decodeReply(replyFrames[i]), everyReply[i]) << "reply " << i;
        }
    }
    // Doubles travel bit for bit.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const HelperFrame withNan = encodeRequest(1, MoveToTrashRequest{"/x", nan});
    EXPECT_TRUE(std::isnan(std::get<MoveToTrashRequest>(decodeRequest(withNan)).scannedSince));
}

TEST(HelperMessage, LaysFramesOutAsDocumented) {
    // length 12, request id 7, message 3 (scan), a string field of 2 bytes: "/a".
    EXPECT_EQ(encodeRequest(7, ScanRequest{"/a"}).encoded(),
              (std::vector<uint8_t>{12, 0, 0, 0, 7, 0, 0, 0, 3, 1, 2, 0, 0, 0, '/', 'a'}));
    // Optional fields that are absent are their tag alone; booleans one byte.
    EXPECT_EQ(encodeReply(0x01020304, TrashOwnerReply{-1, std::nullopt, true, std::nullopt}).encoded(),
              (std::vector<uint8_t>{14, 0, 0, 0, 4, 3, 2, 1, 6, 4, 0xff, 0xff, 0xff, 0xff, 0, 3, 1, 0}));
}

TEST(HelperMessage, RejectsWhatIsNotAFrameOfTheMessage) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool asReply;
        const char* error;
    };
    const Case cases[] = {
        {"length below the header", frame(4, 1, {}), false, "a frame of 4 bytes"},
        {"length over the cap, seen before the body", frame(65537, 3, {}), false, "over the limit of 65536"},
        {"message 0", frame(5, 0, {}), false, "no message numbered 0"},
        {"message 9", frame(5, 9, {}), false, "no message numbered 9"},
        {"cancelScan has no reply", frame(5, 5, {}), true, "no reply numbered 5"},
        {"a number for a path", frame(10, 3, {4, 1, 0, 0, 0}), false, "field 1 is int32, not string"},
        {"an absent path", frame(6, 6, {0}), false, "field 1 is absent, not string"},
        {"an unknown type", frame(6, 6, {9}), false, "field 1 is unknown type, not string"},
        {"a missing field", frame(5, 3, {}), false, "field 1 is missing"},
        {"a second field missing", frame(12, 7, {1, 2, 0, 0, 0, '/', 'a'}), false, "field 2 is missing"},
        {"a string past the frame", frame(10, 3, {1, 9, 0, 0, 0}), false, "field 1 runs past the frame"},
        {"a cut number", frame(11, 7, {1, 0, 0, 0, 0, 7, 0}), false, "field 2 runs past the frame"},
        {"bytes after the fields", frame(6, 1, {0}), false, "1 bytes after the last field"},
        {"a boolean of 2", frame(12, 1, {1, 0, 0, 0, 0, 3, 2}), true, "field 2 is a boolean of 2"},
        {"a path where bytes belong", frame(7, 3, {1, 0, 0, 0, 0, 0}), true, "field 1 is string, not bytes"},
    };
    for (const Case& c : cases) {
        std::string error;
        try {
            FrameReader reader(c.asReply ? HelperFrame::maxReplyLength : HelperFrame::maxRequestLength);
            reader.feed(c.bytes);
            const std::optional<HelperFrame> next = reader.next();
            if (!next) {
                error = "(incomplete)";
            } else if (c.asReply) {
                decodeReply(*next);
            } else {
                decodeRequest(*next);
            }
        } catch (const FrameError& e) {
            error = e.message();
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
}
