#include <tarn_package/fields.hpp>
#include <tarn_package/json.hpp>
#include <tarn_package/render.hpp>

#include <type_traits>

namespace tarn_package {
namespace {

// Every record becomes an object whose keys are its fields, in the order of its field table;
// enumerants become their names and segment data text in the form asked for.

template <class T>
Json to_json(const T& value, JsonData data);

template <class T>
void add_member(Json& object, std::string_view name, const T& value, JsonData data) {
    if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
        if (data == JsonData::Base64) {
            object[name] = base64_encode(value);
        } else if (data == JsonData::Hex) {
            object[name] = hex_encode(value);
        }
    } else {
        object[name] = to_json(value, data);
    }
}

template <class T>
Json to_json(const T& value, JsonData data) {
    if constexpr (DescribedRecord<T>) {
        Json object = Json::object();
        for_each_field(value, [&](std::string_view name, const auto& member) {
            add_member(object, name, member, data);
        });
        return object;
    } else if constexpr (DescribedEnum<T>) {
        return Json(to_string(value));
    } else if constexpr (is_list_v<T>) {
        Json array = Json::array();
        for (const auto& item : value) {
            array.push_back(to_json(item, data));
        }
        return array;
    } else {
        return Json(value);
    }
}

} // namespace

Json application_to_json(const Application& app, JsonData data) {
    return to_json(app, data);
}

Json profile_report_to_json(const ProfileReport& report) {
    return to_json(report, JsonData::Base64);
}

} // namespace tarn_package
