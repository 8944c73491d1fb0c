#pragma once

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace vesk {

// What a worker produced: its value or what it threw.
template <typename Result>
struct WorkerOutcome {
    std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
    std::exception_ptr failure;
};

template <typename Result>
QCoro::Task<Result> awaitWorker(QFuture<WorkerOutcome<Result>> future) {
    WorkerOutcome<Result> outcome = co_await future;
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    if constexpr (!std::is_void_v<Result>) co_return std::move(*outcome.value);
}

// Starts `work` on `pool` at once and returns a task that resumes the awaiting coroutine
// on its own (the main) thread with the result, or rethrows what `work` threw. The main
// thread keeps serving events meanwhile. `work` must own what it uses: it may run after
// the awaiting side is gone.
template <typename Work>
QCoro::Task<std::invoke_result_t<Work>> runOnWorker(QThreadPool& pool, Work work) {
    using Result = std::invoke_result_t<Work>;
    // Not a coroutine itself: the work is moved straight into the pool's job.
    return awaitWorker<Result>(QtConcurrent::run(&pool, [work = std::move(work)]() mutable {
        WorkerOutcome<Result> outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                outcome.value = true;
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        return outcome;
    }));
}

}  // namespace vesk
