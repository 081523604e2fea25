// Internal header, not for clients: the one way every operation reports running out of memory
// (the policy is written down in error.hpp).
#pragma once

#include <expected>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include <tarn_package/error.hpp>

namespace tarn_package::detail {

/// `Capnp` of kind "OVERLOADED", described as "out of memory" or "out of memory: <what>".
[[nodiscard]] inline PackageError out_of_memory(std::string_view what = {}) {
    std::string description = "out of memory";
    if (!what.empty()) {
        description += ": ";
        description += what;
    }
    return PackageError::Capnp{"OVERLOADED", std::move(description)};
}

/// Runs `body`, which returns a `Result`, and turns a failed allocation inside it into the
/// failed result `out_of_memory(what)`. Other exceptions pass.
template <class Body>
[[nodiscard]] auto memory_barrier(Body&& body, std::string_view what = {})
    -> decltype(std::forward<Body>(body)()) {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return std::unexpected(out_of_memory(what));
    }
}

} // namespace tarn_package::detail
