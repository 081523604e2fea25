// Internal header, not for clients: how the library emits its events.
#pragma once

#include <atomic>
#include <initializer_list>

#include <tarn_package/events.hpp>

namespace tarn_package::detail {

inline constexpr std::string_view event_target = "tarn_package";

/// True while a subscriber is installed; the one check an event costs when nobody listens.
[[nodiscard]] bool events_enabled() noexcept;

/// Hands one event to the subscriber, if any. Exceptions thrown by the subscriber are
/// swallowed: an operation never fails because of its observer.
void emit(EventLevel level, std::string_view message, std::initializer_list<EventField> fields = {});

} // namespace tarn_package::detail
