#pragma once

#include "helper_frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace hollowmere {

// The eight messages the app sends to the helper, by their number on the wire. The helper
// answers every message but cancelScan exactly once, with a reply of the same number.
enum class HelperMessage : uint8_t {
    hello = 1,        // open to all
    quit = 2,         // open to all; the helper ends 0.2 s after replying
    scan = 3,         // administrators
    scanProgress = 4, // open to all
    cancelScan = 5,   // open to all; no reply
    trashOwner = 6,   // administrators
    moveToTrash = 7,  // administrators
    putBack = 8,      // administrators
};

bool expectsReply(HelperMessage message);

// Requests, app -> helper.
struct HelloRequest {
    friend bool operator==(const HelloRequest&, const HelloRequest&) = default;
};
struct QuitRequest {
    friend bool operator==(const QuitRequest&, const QuitRequest&) = default;
};
struct ScanRequest {
    std::string path;
    friend bool operator==(const ScanRequest&, const ScanRequest&) = default;
};
struct ScanProgressRequest {
    friend bool operator==(const ScanProgressRequest&, const ScanProgressRequest&) = default;
};
struct CancelScanRequest {
    friend bool operator==(const CancelScanRequest&, const CancelScanRequest&) = default;
};
struct TrashOwnerRequest {
    std::string path;
    friend bool operator==(const TrashOwnerRequest&, const TrashOwnerRequest&) = default;
};
struct MoveToTrashRequest {
    std::string path;
    double scannedSince = 0; // start of the scan that listed the item, seconds since 1970
    friend bool operator==(const MoveToTrashRequest&, const MoveToTrashRequest&) = default;
};
struct PutBackRequest {
    std::string inTrash;
    std::string original;
    int32_t device = 0;
    uint64_t inode = 0;
    friend bool operator==(const PutBackRequest&, const PutBackRequest&) = default;
};

// Replies, helper -> app. An error is one of the FailureWords or another short text.
struct HelloReply {
    std::string build;
    bool callerIsAdministrator = false;
    bool hasFullDiskAccess = false;
    friend bool operator==(const HelloReply&, const HelloReply&) = default;
};
struct QuitReply {
    friend bool operator==(const QuitReply&, const QuitReply&) = default;
};
struct ScanReply {
    std::optional<std::vector<uint8_t>> tree; // the tree transfer block
    std::optional<std::string> error;
    friend bool operator==(const ScanReply&, const ScanReply&) = default;
};
struct ScanProgressReply {
    int64_t items = 0;
    uint64_t bytes = 0;
    std::string currentFolder;
    friend bool operator==(const ScanProgressReply&, const ScanProgressReply&) = default;
};
struct TrashOwnerReply {
    int32_t uid = -1;
    std::optional<std::string> name;
    bool systemItem = false;
    std::optional<std::string> error;
    friend bool operator==(const TrashOwnerReply&, const TrashOwnerReply&) = default;
};
struct MoveToTrashReply {
    std::optional<std::string> path; // in the Trash
    int32_t owner = -1;
    int32_t device = 0;
    uint64_t inode = 0;
    std::optional<std::string> error;
    friend bool operator==(const MoveToTrashReply&, const MoveToTrashReply&) = default;
};
struct PutBackReply {
    std::optional<std::string> error;
    friend bool operator==(const PutBackReply&, const PutBackReply&) = default;
};

// The alternatives stand in message-number order.
using HelperRequest = std::variant<HelloRequest, QuitRequest, ScanRequest, ScanProgressRequest,
                                   CancelScanRequest, TrashOwnerRequest, MoveToTrashRequest, PutBackRequest>;
using HelperReply = std::variant<HelloReply, QuitReply, ScanReply, ScanProgressReply, TrashOwnerReply,
                                 MoveToTrashReply, PutBackReply>;

HelperMessage messageOf(const HelperRequest& request);
HelperMessage messageOf(const HelperReply& reply);

HelperFrame encodeRequest(uint32_t requestId, const HelperRequest& request);
HelperFrame encodeReply(uint32_t requestId, const HelperReply& reply);

// Both throw FrameError for an unknown message number (or cancelScan as a reply) and for
// fields that are not exactly the message's.
HelperRequest decodeRequest(const HelperFrame& frame);
HelperReply decodeReply(const HelperFrame& frame);

} // namespace hollowmere
