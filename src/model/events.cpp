#include "model/event_emit.hpp"

#include <memory>
#include <ostream>

namespace tarn_package {
namespace {

std::atomic<std::shared_ptr<const EventSubscriber>> current_subscriber;
std::atomic<bool> subscriber_installed{false};

} // namespace

EventSubscriber set_event_subscriber(EventSubscriber subscriber) {
    std::shared_ptr<const EventSubscriber> next;
    if (subscriber) {
        next = std::make_shared<const EventSubscriber>(std::move(subscriber));
    }
    const bool installed = next != nullptr;
    auto previous = current_subscriber.exchange(std::move(next));
    subscriber_installed.store(installed, std::memory_order_release);
    return previous ? *previous : EventSubscriber{};
}

std::string_view to_string(EventLevel level) noexcept {
    switch (level) {
    case EventLevel::Trace:
        return "TRACE";
    case EventLevel::Debug:
        return "DEBUG";
    case EventLevel::Info:
        return "INFO";
    case EventLevel::Warn:
        return "WARN";
    case EventLevel::Error:
        return "ERROR";
    }
    return "UNKNOWN";
}

std::ostream& operator<<(std::ostream& out, EventLevel level) {
    return out << to_string(level);
}

namespace detail {

bool events_enabled() noexcept {
    return subscriber_installed.load(std::memory_order_acquire);
}

void emit(EventLevel level, std::string_view message, std::initializer_list<EventField> fields) {
    if (!events_enabled()) {
        return;
    }
    const auto subscriber = current_subscriber.load();
    if (!subscriber) {
        return;
    }
    const Event event{level, event_target, message,
                      std::span<const EventField>(fields.begin(), fields.size())};
    try {
        (*subscriber)(event);
    } catch (...) {
        // The observer's fault is not the operation's.
    }
}

} // namespace detail
} // namespace tarn_package
