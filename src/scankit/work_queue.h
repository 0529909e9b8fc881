#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hollowmere {

// A folder still to be read: its node and its absolute path.
struct WorkItem {
    int32_t node;
    std::string path;
};

// The scan's shared stack of folders. Last in, first out keeps it short and the recently
// listed folders warm. The walk is over when the stack is empty and no worker holds an item.
class WorkQueue {
public:
    void push(WorkItem item);
    // Blocks until an item is available; none when the walk is over or the queue stopped.
    std::optional<WorkItem> next();
    // Ends the item a worker held, handing over the folders it found.
    void finish(std::span<WorkItem> newItems);
    // Stops the walk: pending folders are dropped and every waiting worker wakes up.
    void stop();

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    std::vector<WorkItem> items_;
    int64_t busy_ = 0;
    bool stopped_ = false;
};

} // namespace hollowmere
