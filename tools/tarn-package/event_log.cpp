#include "event_log.hpp"

#include <tarn_package/events.hpp>
#include <tarn_package/json.hpp>

#include <cstdio>
#include <string>
#include <variant>

namespace tarn_package::tool {
namespace {

// Text values that a reader could not split from the next field are quoted.
std::string text_value(std::string_view value) {
    if (!value.empty() && value.find_first_of(" \t\"=") == std::string_view::npos) {
        return std::string(value);
    }
    return Json(std::string(value)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string text_line(const Event& event) {
    std::string line(to_string(event.level));
    line += ' ';
    line += event.target;
    line += ": ";
    line += event.message;
    for (const auto& field : event.fields) {
        line += ' ';
        line += field.name;
        line += '=';
        if (const auto* number = std::get_if<std::uint64_t>(&field.value)) {
            line += std::to_string(*number);
        } else {
            line += text_value(std::get<std::string_view>(field.value));
        }
    }
    return line;
}

std::string json_line(const Event& event) {
    Json object{{"level", to_string(event.level)}, {"target", event.target}, {"message", event.message}};
    for (const auto& field : event.fields) {
        std::visit([&](const auto& value) { object[std::string(field.name)] = value; }, field.value);
    }
    // The library's texts are UTF-8; anything else is shown, not allowed to fail the command.
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

void log_events(LogFormat format) {
    set_event_subscriber([format](const Event& event) {
        const std::string line = format == LogFormat::Json ? json_line(event) : text_line(event);
        std::fprintf(stderr, "%s\n", line.c_str());
    });
}

} // namespace tarn_package::tool
