// Internal header, not for clients: the one barrier between the message runtime and the
// library's error type.
#pragma once

#include <exception>
#include <expected>
#include <new>
#include <utility>

#include <kj/exception.h>

#include <tarn_package/error.hpp>

#include "out_of_memory.hpp"

namespace tarn_package::detail {

/// A runtime fault as a `Capnp` error: the exception's kind ("FAILED", ...) and description.
[[nodiscard]] PackageError capnp_error(const kj::Exception& exception);

/// Any other standard exception (a throwing stream, a length error) as a `Capnp` error of kind
/// "FAILED".
[[nodiscard]] PackageError standard_error(const std::exception& exception);

/// Runs `body`, which returns a `Result`, and turns every exception it throws into the failed
/// result of the matching `PackageError`. No exception passes this point.
template <class Body>
[[nodiscard]] auto capnp_barrier(Body&& body) -> decltype(std::forward<Body>(body)()) {
    try {
        return std::forward<Body>(body)();
    } catch (const kj::Exception& exception) {
        return std::unexpected(capnp_error(exception));
    } catch (const std::bad_alloc&) {
        return std::unexpected(out_of_memory());
    } catch (const std::exception& exception) {
        return std::unexpected(standard_error(exception));
    }
}

} // namespace tarn_package::detail
