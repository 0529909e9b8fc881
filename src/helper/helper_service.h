#pragma once

#include "helper_log.h"

#include "helperlink/helper_message.h"
#include "scankit/disk_scanner.h"
#include "scankit/trash_mover.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace hollowmere {

// The helper's work for one connection. The caller's identity is fixed when the connection
// is accepted; the only state that changes is the scan slot. Requests arrive one at a time
// (handle); a scan runs on a thread of its own and replies from there, so progress polls and
// cancels are answered while it runs. Every request but cancelScan gets exactly one reply.
class HelperService {
public:
    // Writes a reply to the connection; called from the handling thread and the scan's.
    using Send = std::function<void(uint32_t requestId, const HelperReply& reply)>;

    HelperService(uint32_t callerUID, bool callerIsAdministrator, std::string build, Send send, HelperLog& log,
                  std::function<void()> quitSoon);
    // Cancels a running scan and waits for its thread: the connection is gone.
    ~HelperService();
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    void handle(uint32_t requestId, const HelperRequest& request);

    uint32_t callerUID() const { return callerUID_; }
    bool callerIsAdministrator() const { return callerIsAdministrator_; }

    // The word sent for a failure of the Trash mover.
    static std::string failureText(const TrashMover::Failure& failure);

private:
    void hello(uint32_t id);
    void quit(uint32_t id);
    void scan(uint32_t id, const std::string& path);
    void scanProgress(uint32_t id);
    void cancelScan();
    void trashOwner(uint32_t id, const std::string& path);
    void moveToTrash(uint32_t id, const MoveToTrashRequest& request);
    void putBack(uint32_t id, const PutBackRequest& request);

    // The scan's thread: runs it, empties the slot, replies.
    void runScan(uint32_t id, std::shared_ptr<DiskScanner> scanner);
    void emptySlot();

    const uint32_t callerUID_;
    const bool callerIsAdministrator_;
    const std::string build_;
    const Send send_;
    HelperLog& log_;
    const std::function<void()> quitSoon_;

    std::mutex slotMutex_;
    std::shared_ptr<DiskScanner> scanner_; // the scan slot: the running scan, under slotMutex_
    std::thread scanThread_;               // of the last scan started; used on the handling thread
};

} // namespace hollowmere
