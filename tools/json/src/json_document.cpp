#include <tarn_package/json.hpp>

#include <set>
#include <vector>

#include "out_of_memory.hpp"

namespace tarn_package {
namespace {

// Raised from the parser's callback; the parser passes it on unchanged.
struct DuplicateKey {
    std::string key;
};

// nlohmann's messages start with "[json.exception.parse_error.101] "; the tag means nothing to
// a reader of ours.
std::string without_tag(std::string_view message) {
    if (message.starts_with('[')) {
        const auto end = message.find("] ");
        if (end != std::string_view::npos) {
            message.remove_prefix(end + 2);
        }
    }
    return std::string(message);
}

} // namespace

Result<Json> parse_json(std::string_view text) {
    // A repeated key would silently replace the earlier value; every open object keeps the
    // keys seen so far so that a repeat is refused instead.
    std::vector<std::set<std::string, std::less<>>> open_objects;
    const Json::parser_callback_t check_keys = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            open_objects.emplace_back();
        } else if (event == Json::parse_event_t::object_end) {
            open_objects.pop_back();
        } else if (event == Json::parse_event_t::key) {
            auto key = parsed.get<std::string>();
            if (!open_objects.back().insert(key).second) {
                throw DuplicateKey{std::move(key)};
            }
        }
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), check_keys);
    } catch (const DuplicateKey& duplicate) {
        return std::unexpected(PackageError::invalid("json: duplicate key \"" + duplicate.key + "\""));
    } catch (const Json::exception& fault) {
        return std::unexpected(PackageError::invalid("json: " + without_tag(fault.what())));
    } catch (const std::bad_alloc&) {
        return std::unexpected(detail::out_of_memory());
    }
}

Result<std::string> json_text(const Json& document) {
    try {
        std::string text = document.dump(2);
        text += '\n';
        return text;
    } catch (const Json::exception& fault) {
        return std::unexpected(PackageError::invalid("json: " + without_tag(fault.what())));
    }
}

} // namespace tarn_package
