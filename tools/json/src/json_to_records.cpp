#include <tarn_package/fields.hpp>
#include <tarn_package/json.hpp>

#include "out_of_memory.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <type_traits>

namespace tarn_package {
namespace {

// The converters below throw Refusal at the first fault; the two public functions turn it into
// an `Invalid` error. Throwing keeps the walk over the field tables free of error plumbing.
struct Refusal {
    std::string message;
};

[[noreturn]] void refuse(const std::string& path, const std::string& what) {
    throw Refusal{(path.empty() ? std::string("document") : path) + ": " + what};
}

std::string member_path(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string element_path(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

std::string type_of(const Json& value) {
    if (value.is_number()) {
        return value.dump();
    }
    const std::string name = value.type_name();
    return (name == "array" || name == "object") ? "an " + name : "a " + name;
}

template <std::unsigned_integral T>
T read_unsigned(const Json& value, const std::string& path) {
    constexpr auto limit = std::numeric_limits<T>::max();
    const auto refuse_value = [&] {
        refuse(path, "expected an unsigned " + std::to_string(std::numeric_limits<T>::digits) +
                         "-bit integer, got " + type_of(value));
    };
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > limit) {
            refuse_value();
        }
        return static_cast<T>(number);
    }
    // A document built in code holds non-negative numbers as signed integers.
    if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        const auto number = static_cast<std::uint64_t>(value.get<std::int64_t>());
        if (number > limit) {
            refuse_value();
        }
        return static_cast<T>(number);
    }
    refuse_value();
    return 0;
}

const std::string& read_text(const Json& value, const std::string& path) {
    if (!value.is_string()) {
        refuse(path, "expected a string, got " + type_of(value));
    }
    return value.get_ref<const std::string&>();
}

/// The names of `Record`'s fields, in table order.
template <DescribedRecord Record>
constexpr auto field_names() {
    return std::apply(
        [](const auto&... fields) { return std::array<std::string_view, sizeof...(fields)>{fields.name...}; },
        RecordFields<Record>::fields);
}

/// Refuses `value` unless it is an object whose keys are all among `keys`.
template <std::size_t N>
void check_object(const Json& value, const std::string& path, const std::array<std::string_view, N>& keys) {
    if (!value.is_object()) {
        refuse(path, "expected an object, got " + type_of(value));
    }
    for (const auto& item : value.items()) {
        if (std::ranges::find(keys, item.key()) == keys.end()) {
            refuse(member_path(path, item.key()), "unknown key");
        }
    }
}

const Json& member(const Json& object, const std::string& path, std::string_view key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        refuse(member_path(path, key), "missing key");
    }
    return *found;
}

template <DescribedEnum Enum>
Enum read_enum(const Json& value, const std::string& path) {
    const std::string& name = read_text(value, path);
    if (const auto found = enumerant_named<Enum>(name)) {
        return *found;
    }
    std::string expected;
    for (const auto& enumerant : EnumerantTable<Enum>::enumerants) {
        expected += (expected.empty() ? "" : ", ") + std::string(enumerant.name);
    }
    refuse(path, "expected one of " + expected + ", got \"" + name + "\"");
}

std::vector<std::uint8_t> read_bytes(const Json& value, const std::string& path, JsonData data) {
    const std::string& text = read_text(value, path);
    if (data == JsonData::Omit) {
        refuse(path, "segment data cannot be omitted");
    }
    auto bytes = data == JsonData::Base64 ? base64_decode(text) : hex_decode(text);
    if (!bytes) {
        refuse(path, std::get<PackageError::Invalid>(bytes.error().value).message);
    }
    return std::move(*bytes);
}

/// Reads `value` at `path` into `target`, whatever its type: every record through its field
/// table, in table order, after its keys were checked.
template <class T>
void read_value(const Json& value, const std::string& path, JsonData data, T& target) {
    if constexpr (DescribedRecord<T>) {
        check_object(value, path, field_names<T>());
        for_each_field(target, [&](std::string_view name, auto& field) {
            read_value(member(value, path, name), member_path(path, name), data, field);
        });
    } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
        target = read_bytes(value, path, data);
    } else if constexpr (is_list_v<T>) {
        if (!value.is_array()) {
            refuse(path, "expected an array, got " + type_of(value));
        }
        target.clear();
        target.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            read_value(value[i], element_path(path, i), data, target.emplace_back());
        }
    } else if constexpr (DescribedEnum<T>) {
        target = read_enum<T>(value, path);
    } else if constexpr (std::is_same_v<T, std::string>) {
        target = read_text(value, path);
    } else {
        target = read_unsigned<T>(value, path);
    }
}

template <DescribedRecord Record>
Result<Record> convert(const Json& document, JsonData data) {
    try {
        Record record;
        read_value(document, "", data, record);
        return record;
    } catch (const Refusal& refusal) {
        return std::unexpected(PackageError::invalid(refusal.message));
    } catch (const std::bad_alloc&) {
        return std::unexpected(detail::out_of_memory());
    }
}

} // namespace

Result<Application> application_from_json(const Json& document, JsonData data) {
    return convert<Application>(document, data);
}

Result<ProfileReport> profile_report_from_json(const Json& document) {
    return convert<ProfileReport>(document, JsonData::Base64);
}

} // namespace tarn_package
