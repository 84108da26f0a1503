#pragma once

#include <exception>
#include <utility>

// Runs one user-triggered operation; an ordinary failure ends that operation silently and
// never reaches the event loop, so the window stays usable for the next command.
template <typename Operation> void runGuarded(Operation&& operation) noexcept {
    try {
        std::forward<Operation>(operation)();
    } catch (const std::exception&) {
    }
}
