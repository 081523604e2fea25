// Shared by the tests: captures the library's events while a test runs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <tarn_package/events.hpp>

namespace tarn_package::testing {

struct RecordedEvent {
    EventLevel level = EventLevel::Info;
    std::string target;
    std::string message;
    std::vector<std::pair<std::string, std::variant<std::uint64_t, std::string>>> fields;
};

/// Records every event while it lives; restores the previous subscriber afterwards.
class EventRecorder {
  public:
    EventRecorder() {
        previous_ = set_event_subscriber([this](const Event& event) {
            RecordedEvent copy{event.level, std::string(event.target), std::string(event.message), {}};
            for (const EventField& field : event.fields) {
                if (const auto* number = std::get_if<std::uint64_t>(&field.value)) {
                    copy.fields.emplace_back(std::string(field.name), *number);
                } else {
                    copy.fields.emplace_back(std::string(field.name),
                                             std::string(std::get<std::string_view>(field.value)));
                }
            }
            events.push_back(std::move(copy));
        });
    }
    ~EventRecorder() { set_event_subscriber(std::move(previous_)); }
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    /// The messages of the recorded events, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& event : events) {
            texts.push_back(event.message);
        }
        return texts;
    }

    std::vector<RecordedEvent> events;

  private:
    EventSubscriber previous_;
};

} // namespace tarn_package::testing
