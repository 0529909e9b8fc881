#pragma once

#include <QEventLoop>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace hollowmere::test {

namespace detail {

template <typename T> struct TaskOutcome {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Value> value;
    std::exception_ptr error;
    bool done = false;
    QEventLoop loop;
};

// The outcome lives on the heap: a task that outlives a timed-out runTask still finds it.
template <typename T> QCoro::Task<> drive(QCoro::Task<T> task, std::shared_ptr<TaskOutcome<T>> outcome) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome->value = true;
        } else {
            outcome->value.emplace(co_await task);
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
    outcome->loop.quit();
}

} // namespace detail

// Runs the event loop until `task` has finished, then returns its value or throws its
// exception. A task still running after `limit` fails the test with std::runtime_error.
template <typename T> T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    auto outcome = std::make_shared<detail::TaskOutcome<T>>();
    detail::drive(std::move(task), outcome);
    if (!outcome->done) {
        QTimer::singleShot(limit, &outcome->loop, &QEventLoop::quit);
        outcome->loop.exec();
    }
    if (!outcome->done) throw std::runtime_error("the task did not finish in time");
    if (outcome->error) std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<T>) return std::move(*outcome->value);
}

} // namespace hollowmere::test
