#pragma once

#include <optional>

namespace vesk::test {

// Runs `action` and hands back the exception of type E it threw, or nothing when it threw
// none, so that a test can check what a failure said in one place.
template <typename E, typename Action>
std::optional<E> thrownBy(Action&& action) {
    try {
        action();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace vesk::test
