#include "work_queue.h"

namespace hollowmere {

void WorkQueue::push(WorkItem item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    condition_.notify_all();
}

std::optional<WorkItem> WorkQueue::next() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopped_) break;
        if (!items_.empty()) {
            WorkItem item = std::move(items_.back());
            items_.pop_back();
            ++busy_;
            return item;
        }
        if (busy_ == 0) break; // drained: the walk is complete
        condition_.wait(lock);
    }
    lock.unlock();
    condition_.notify_all(); // so every idle worker sees the end
    return std::nullopt;
}

void WorkQueue::finish(std::span<WorkItem> newItems) {
    {
        std::lock_guard lock(mutex_);
        for (WorkItem& item : newItems) items_.push_back(std::move(item));
        --busy_;
    }
    condition_.notify_all();
}

void WorkQueue::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        items_.clear();
    }
    condition_.notify_all();
}

} // namespace hollowmere
