#include "pause.h"

#include <QTimer>

#include <coroutine>
#include <memory>

namespace hollowmere {

namespace {

// Resumes the waiting coroutine when the timer fires.
struct Timeout {
    QTimer& timer;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) {
        QObject::connect(
            &timer, &QTimer::timeout, &timer, [waiting] { waiting.resume(); }, Qt::SingleShotConnection);
    }
    void await_resume() const noexcept {}
};

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

QCoro::Task<> pause(std::chrono::milliseconds duration, std::stop_token stop) {
    if (stop.stop_requested()) co_return;
    // The wait ends inside the timer's signal: the timer must outlive it.
    const std::unique_ptr<QTimer, DeleteLater> timer(new QTimer);
    timer->setSingleShot(true);
    // Runs on the thread that asks to stop: the timer is started again, at zero, on its own.
    std::stop_callback wake(stop, [timer = timer.get()] {
        QMetaObject::invokeMethod(
            timer, [timer] { timer->start(0); }, Qt::QueuedConnection);
    });
    timer->start(duration);
    co_await Timeout{*timer};
}

} // namespace hollowmere
