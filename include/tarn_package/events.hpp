#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <string_view>
#include <variant>

namespace tarn_package {

enum class EventLevel { Trace, Debug, Info, Warn, Error };

/// One named value of an event. The views are valid only during the subscriber's call.
struct EventField {
    std::string_view name;
    std::variant<std::uint64_t, std::string_view> value;
};

/// A structured event. The library's events have the target "tarn_package".
/// Every view is valid only during the subscriber's call; copy what must outlive it.
struct Event {
    EventLevel level = EventLevel::Info;
    std::string_view target;
    std::string_view message;
    std::span<const EventField> fields;
};

using EventSubscriber = std::function<void(const Event&)>;

/// Installs the process-wide subscriber that receives every event of the library and returns
/// the previous one. An empty function removes it; there is none by default. Safe to call from
/// any thread; the subscriber itself may be called from any thread that uses the library.
EventSubscriber set_event_subscriber(EventSubscriber subscriber);

[[nodiscard]] std::string_view to_string(EventLevel level) noexcept;
std::ostream& operator<<(std::ostream& out, EventLevel level);

} // namespace tarn_package
