// Internal header, not for clients: overflow-checked arithmetic and message helpers shared by
// every rule of the library.
#pragma once

#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include <tarn_package/error.hpp>

#include "text_format.hpp"

namespace tarn_package::detail {

/// `a + b`, or nothing when the sum does not fit in `T`.
template <std::unsigned_integral T>
[[nodiscard]] constexpr std::optional<T> checked_add(T a, T b) noexcept {
    T sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return std::nullopt;
    }
    return sum;
}

/// `a * b`, or nothing when the product does not fit in `T`.
template <std::unsigned_integral T>
[[nodiscard]] constexpr std::optional<T> checked_mul(T a, T b) noexcept {
    T product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return std::nullopt;
    }
    return product;
}

/// The failed result of a broken rule.
[[nodiscard]] inline std::unexpected<PackageError> invalid(std::string message) {
    return std::unexpected(PackageError::invalid(std::move(message)));
}

} // namespace tarn_package::detail
