#include "helper_service.h"

#include "scan_time.h"

#include "helperlink/failure_words.h"
#include "scankit/cancellation.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <type_traits>

namespace hollowmere {

namespace {

using Kind = TrashMover::Failure::Kind;

// Scan paths must be absolute and may not climb: no ".." piece. A zero byte would cut the
// path short where the system reads it, so it is refused too.
bool isScannablePath(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (std::string_view(path).substr(start, slash - start) == "..") return false;
        start = slash + 1;
    }
    return true;
}

int activeProcessors() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

// Largest tree block a reply frame can carry beside its other fields.
constexpr uint64_t maxTreeBytes = HelperFrame::maxReplyLength - HelperFrame::minLength - 6;

std::string scanFailureText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return std::string(FailureWords::cancelled);
    } catch (const DiskScanner::Failure& failure) {
        return FailureWords::unreadable(failure.code());
    } catch (const std::exception& other) {
        return other.what();
    } catch (...) {
        return "unknown error";
    }
}

} // namespace

HelperService::HelperService(uint32_t callerUID, bool callerIsAdministrator, std::string build, Send send,
                             HelperLog& log, std::function<void()> quitSoon)
    : callerUID_(callerUID)
    , callerIsAdministrator_(callerIsAdministrator)
    , build_(std::move(build))
    , send_(std::move(send))
    , log_(log)
    , quitSoon_(std::move(quitSoon)) {}

HelperService::~HelperService() {
    cancelScan();
    if (scanThread_.joinable()) scanThread_.join();
}

void HelperService::handle(uint32_t requestId, const HelperRequest& request) {
    std::visit(
        [&](const auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, HelloRequest>) hello(requestId);
            else if constexpr (std::is_same_v<R, QuitRequest>) quit(requestId);
            else if constexpr (std::is_same_v<R, ScanRequest>) scan(requestId, r.path);
            else if constexpr (std::is_same_v<R, ScanProgressRequest>) scanProgress(requestId);
            else if constexpr (std::is_same_v<R, CancelScanRequest>) cancelScan();
            else if constexpr (std::is_same_v<R, TrashOwnerRequest>) trashOwner(requestId, r.path);
            else if constexpr (std::is_same_v<R, MoveToTrashRequest>) moveToTrash(requestId, r);
            else if constexpr (std::is_same_v<R, PutBackRequest>) putBack(requestId, r);
            else static_assert(!sizeof(R), "every request is handled");
        },
        request);
}

void HelperService::hello(uint32_t id) {
    // Linux has no Full Disk Access: root reads everything the scanner asks for.
    send_(id, HelloReply{build_, callerIsAdministrator_, true});
}

void HelperService::quit(uint32_t id) {
    log_.notice({"asked to quit by uid ", std::to_string(callerUID_)});
    send_(id, QuitReply{});
    quitSoon_();
}

void HelperService::scan(uint32_t id, const std::string& path) {
    if (!callerIsAdministrator_) return send_(id, ScanReply{std::nullopt, std::string(FailureWords::notAnAdministrator)});
    if (!isScannablePath(path)) return send_(id, ScanReply{std::nullopt, std::string(FailureWords::notAnAbsolutePath)});

    auto scanner = std::make_shared<DiskScanner>(path, std::nullopt, activeProcessors(), false);
    {
        std::lock_guard lock(slotMutex_);
        if (scanner_) return send_(id, ScanReply{std::nullopt, std::string(FailureWords::anotherScanIsRunning)});
        scanner_ = scanner;
    }
    log_.notice({"scan of ", HelperLog::privately(path), " for uid ", std::to_string(callerUID_)});
    // The slot was empty, so the last scan's thread has nothing left but its reply.
    if (scanThread_.joinable()) scanThread_.join();
    try {
        scanThread_ = std::thread([this, id, scanner] { runScan(id, scanner); });
    } catch (const std::system_error& error) {
        emptySlot();
        send_(id, ScanReply{std::nullopt, std::string(error.what())});
    }
}

void HelperService::runScan(uint32_t id, std::shared_ptr<DiskScanner> scanner) {
    ScanReply reply;
    try {
        std::vector<uint8_t> block = scanner->scan().transferData();
        if (block.size() > maxTreeBytes) {
            reply.error = "the tree is too large to send";
        } else {
            reply.tree = std::move(block);
        }
    } catch (...) {
        reply.error = scanFailureText(std::current_exception());
    }
    emptySlot();
    send_(id, reply);
}

void HelperService::emptySlot() {
    std::lock_guard lock(slotMutex_);
    scanner_.reset();
}

void HelperService::scanProgress(uint32_t id) {
    ScanProgressReply reply;
    {
        std::lock_guard lock(slotMutex_);
        if (scanner_) {
            const DiskScanner::Progress progress = scanner_->progress();
            reply = ScanProgressReply{progress.items, progress.bytes, progress.currentFolder};
        }
    }
    send_(id, reply);
}

void HelperService::cancelScan() {
    std::lock_guard lock(slotMutex_);
    if (scanner_) scanner_->cancel();
}

std::string HelperService::failureText(const TrashMover::Failure& failure) {
    switch (failure.kind()) {
    case Kind::system:
        return FailureWords::system(failure.message(), failure.code());
    case Kind::badPath:
        return std::string(FailureWords::notAnAbsolutePath);
    case Kind::vital:
        return std::string(FailureWords::vital);
    case Kind::notInTrash:
        return std::string(FailureWords::notInTrash);
    case Kind::replaced:
        return std::string(FailureWords::replaced);
    case Kind::taken:
        return std::string(FailureWords::taken);
    case Kind::folderGone:
        return std::string(FailureWords::folderGone);
    case Kind::pathChanged:
        return std::string(FailureWords::pathChanged);
    case Kind::unsafeTrash:
        return std::string(FailureWords::unsafeTrash);
    case Kind::changedSinceScan:
        return std::string(FailureWords::changedSinceScan);
    }
    return failure.what();
}

void HelperService::trashOwner(uint32_t id, const std::string& path) {
    TrashOwnerReply reply;
    if (!callerIsAdministrator_) {
        reply.error = std::string(FailureWords::notAnAdministrator);
        return send_(id, reply);
    }
    try {
        const TrashMover::Owner owner = TrashMover(callerUID_).owner(path);
        reply = TrashOwnerReply{static_cast<int32_t>(owner.uid), owner.name, owner.systemItem, std::nullopt};
    } catch (const TrashMover::Failure& failure) {
        reply.error = failureText(failure);
    } catch (const std::exception& other) {
        reply.error = other.what();
    }
    send_(id, reply);
}

void HelperService::moveToTrash(uint32_t id, const MoveToTrashRequest& request) {
    MoveToTrashReply reply;
    if (!callerIsAdministrator_) {
        reply.error = std::string(FailureWords::notAnAdministrator);
        return send_(id, reply);
    }
    std::string failure;
    try {
        const TrashMover::Moved moved =
            TrashMover(callerUID_).moveToTrash(request.path, ScanTime::fromSeconds(request.scannedSince));
        log_.notice({"moved ", HelperLog::privately(request.path), " to the Trash of uid ", std::to_string(moved.uid),
                     " for uid ", std::to_string(callerUID_)});
        reply.path = moved.landed;
        reply.owner = static_cast<int32_t>(moved.uid);
        reply.device = moved.identity.device;
        reply.inode = moved.identity.inode;
        return send_(id, reply);
    } catch (const TrashMover::Failure& error) {
        failure = failureText(error);
    } catch (const std::exception& other) {
        failure = other.what();
    }
    log_.notice({"refused to move ", HelperLog::privately(request.path), ": ", failure});
    reply.error = failure;
    send_(id, reply);
}

void HelperService::putBack(uint32_t id, const PutBackRequest& request) {
    PutBackReply reply;
    if (!callerIsAdministrator_) {
        reply.error = std::string(FailureWords::notAnAdministrator);
        return send_(id, reply);
    }
    std::string failure;
    try {
        TrashMover(callerUID_).putBack(request.inTrash, request.original, FileIdentity(request.device, request.inode));
        log_.notice({"put back ", HelperLog::privately(request.original), " for uid ", std::to_string(callerUID_)});
        return send_(id, reply);
    } catch (const TrashMover::Failure& error) {
        failure = failureText(error);
    } catch (const std::exception& other) {
        failure = other.what();
    }
    log_.notice({"refused to put back ", HelperLog::privately(request.original), ": ", failure});
    reply.error = failure;
    send_(id, reply);
}

} // namespace hollowmere
