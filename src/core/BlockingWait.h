#pragma once

#include <QCoro/QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <utility>

namespace vesk {

// Runs a nested event loop until `task` ends and returns its result or rethrows its
// error. For the command line and tests only: the application's own flows co_await.
// (QCoro's own waitFor never returns when the task throws.)
template <typename T>
T blockingWait(QCoro::Task<T> task) {
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr failure;
    bool finished = false;
    const auto runner = [&]() -> QCoro::Task<> {
        try {
            result.emplace(co_await std::move(task));
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
        loop.quit();
    };
    const QCoro::Task<> running = runner();
    if (!finished) loop.exec();
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
}

}  // namespace vesk
