#include <tarn_package/json.hpp>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <limits>

namespace tarn_package {
namespace {

// The converters below throw Refusal at the first fault; the two public functions turn it into
// an `Invalid` error. Throwing keeps each converter a plain list of its fields.
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

/// Reads one object: refuses keys other than `fields`, then hands out members by name.
class ObjectReader {
  public:
    ObjectReader(const Json& value, std::string path, std::initializer_list<std::string_view> fields)
        : value_(value), path_(std::move(path)) {
        if (!value.is_object()) {
            refuse(path_, "expected an object, got " + type_of(value));
        }
        for (const auto& item : value.items()) {
            if (std::ranges::find(fields, item.key()) == fields.end()) {
                refuse(member_path(path_, item.key()), "unknown key");
            }
        }
    }

    [[nodiscard]] std::string path(std::string_view key) const { return member_path(path_, key); }

    [[nodiscard]] const Json& member(std::string_view key) const {
        const auto found = value_.find(key);
        if (found == value_.end()) {
            refuse(path(key), "missing key");
        }
        return *found;
    }

    [[nodiscard]] std::uint32_t u32(std::string_view key) const {
        return read_unsigned<std::uint32_t>(member(key), path(key));
    }
    [[nodiscard]] std::uint64_t u64(std::string_view key) const {
        return read_unsigned<std::uint64_t>(member(key), path(key));
    }
    [[nodiscard]] std::string text(std::string_view key) const { return read_text(member(key), path(key)); }

    /// The array under `key`, each element converted by `convert(element, element_path)`.
    template <class Convert>
    [[nodiscard]] auto list(std::string_view key, Convert convert) const {
        const Json& array = member(key);
        const std::string array_path = path(key);
        if (!array.is_array()) {
            refuse(array_path, "expected an array, got " + type_of(array));
        }
        std::vector<decltype(convert(array.front(), array_path))> items;
        items.reserve(array.size());
        for (std::size_t i = 0; i < array.size(); ++i) {
            items.push_back(convert(array[i], element_path(array_path, i)));
        }
        return items;
    }

    [[nodiscard]] std::vector<std::uint32_t> u32_list(std::string_view key) const {
        return list(key, read_unsigned<std::uint32_t>);
    }

  private:
    const Json& value_;
    std::string path_;
};

template <class Enum, std::size_t N>
Enum read_enum(const Json& value, const std::string& path, const std::array<std::string_view, N>& names) {
    const std::string& name = read_text(value, path);
    const auto found = std::ranges::find(names, name);
    if (found == names.end()) {
        std::string expected;
        for (const auto candidate : names) {
            expected += (expected.empty() ? "" : ", ") + std::string(candidate);
        }
        refuse(path, "expected one of " + expected + ", got \"" + name + "\"");
    }
    return static_cast<Enum>(found - names.begin());
}

// In enumerant order: the position of a name is its number.
constexpr std::array<std::string_view, 4> step_kinds{"Exchange", "Compute", "Synchronization", "Idle"};
constexpr std::array<std::string_view, 3> activity_kinds{"Send", "Receive", "PartnerBusy"};

Segment read_segment(const Json& value, const std::string& path, JsonData data) {
    const ObjectReader object(value, path, {"address", "memory_size", "data", "flags"});
    Segment segment{
        .address = object.u32("address"), .memory_size = object.u32("memory_size"), .data = {}, .flags = 0};
    const std::string& text = read_text(object.member("data"), object.path("data"));
    if (data == JsonData::Omit) {
        refuse(object.path("data"), "segment data cannot be omitted");
    }
    auto bytes = data == JsonData::Base64 ? base64_decode(text) : hex_decode(text);
    if (!bytes) {
        refuse(object.path("data"), std::get<PackageError::Invalid>(bytes.error().value).message);
    }
    segment.data = std::move(*bytes);
    segment.flags = object.u32("flags");
    return segment;
}

TileImage read_tile(const Json& value, const std::string& path, JsonData data) {
    const ObjectReader object(
        value, path, {"physical_tile", "entry_point", "command_address", "diagnostic_address", "segments"});
    return TileImage{
        .physical_tile = object.u32("physical_tile"),
        .entry_point = object.u32("entry_point"),
        .command_address = object.u32("command_address"),
        .diagnostic_address = object.u32("diagnostic_address"),
        .segments = object.list(
            "segments", [&](const Json& v, const std::string& p) { return read_segment(v, p, data); }),
    };
}

RegionSlice read_region_slice(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"tile", "tile_address", "file_offset", "size"});
    return RegionSlice{.tile = object.u32("tile"),
                       .tile_address = object.u32("tile_address"),
                       .file_offset = object.u64("file_offset"),
                       .size = object.u64("size")};
}

Binding read_binding(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"name", "dtype", "shape", "slices"});
    return Binding{.name = object.text("name"),
                   .dtype = object.text("dtype"),
                   .shape = object.u32_list("shape"),
                   .slices = object.list("slices", read_region_slice)};
}

HostSlice read_host_slice(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"page", "page_offset", "file_offset", "size"});
    return HostSlice{.page = object.u32("page"),
                     .page_offset = object.u64("page_offset"),
                     .file_offset = object.u64("file_offset"),
                     .size = object.u64("size")};
}

HostCall read_host_call(const Json& value, const std::string& path) {
    const ObjectReader object(value, path,
                              {"name", "command", "phases", "inputs", "outputs", "invocations",
                               "input_batch_ends", "output_batch_ends"});
    return HostCall{.name = object.text("name"),
                    .command = object.u32("command"),
                    .phases = object.u32("phases"),
                    .inputs = object.list("inputs", read_host_slice),
                    .outputs = object.list("outputs", read_host_slice),
                    .invocations = object.u32("invocations"),
                    .input_batch_ends = object.u32_list("input_batch_ends"),
                    .output_batch_ends = object.u32_list("output_batch_ends")};
}

HostPage read_host_page(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"index", "size"});
    return HostPage{.index = object.u32("index"), .size = object.u64("size")};
}

HostExchange read_host_exchange(const Json& value, const std::string& path) {
    const ObjectReader object(
        value, path, {"startup_mark", "command_page", "command_offset", "pages", "attach_order", "calls"});
    return HostExchange{.startup_mark = object.u32("startup_mark"),
                        .command_page = object.u32("command_page"),
                        .command_offset = object.u64("command_offset"),
                        .pages = object.list("pages", read_host_page),
                        .attach_order = object.u32_list("attach_order"),
                        .calls = object.list("calls", read_host_call)};
}

EntryPoint read_entry_point(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"name", "command", "external_syncs"});
    return EntryPoint{.name = object.text("name"),
                      .command = object.u32("command"),
                      .external_syncs = object.u32("external_syncs")};
}

DeviceConfigWrite read_config_write(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"offset", "value"});
    return DeviceConfigWrite{.offset = object.u32("offset"), .value = object.u32("value")};
}

ProfileMetadata read_metadata(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"name", "value"});
    return ProfileMetadata{.name = object.text("name"), .value = object.text("value")};
}

ProfileExchangeActivity read_activity(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"kind", "start_cycle", "end_cycle"});
    return ProfileExchangeActivity{.kind = read_enum<ProfileExchangeActivityKind>(
                                       object.member("kind"), object.path("kind"), activity_kinds),
                                   .start_cycle = object.u32("start_cycle"),
                                   .end_cycle = object.u32("end_cycle")};
}

ProfileStep read_step(const Json& value, const std::string& path) {
    const ObjectReader object(value, path,
                              {"local_index", "phase", "epoch", "operation", "kind", "kernel", "metadata",
                               "exchange_activities", "exchange_event_cycles"});
    return ProfileStep{
        .local_index = object.u32("local_index"),
        .phase = object.u32("phase"),
        .epoch = object.u32("epoch"),
        .operation = object.text("operation"),
        .kind = read_enum<ProfileStepKind>(object.member("kind"), object.path("kind"), step_kinds),
        .kernel = object.text("kernel"),
        .metadata = object.list("metadata", read_metadata),
        .exchange_activities = object.list("exchange_activities", read_activity),
        .exchange_event_cycles = object.u32("exchange_event_cycles"),
    };
}

TileProfilePlan read_plan(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"physical_tile", "steps"});
    return TileProfilePlan{.physical_tile = object.u32("physical_tile"),
                           .steps = object.list("steps", read_step)};
}

DebugSymbol read_debug_symbol(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"name", "address"});
    return DebugSymbol{.name = object.text("name"), .address = object.u32("address")};
}

DebugRegion read_debug_region(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"physical_tile", "address", "size", "name"});
    return DebugRegion{.physical_tile = object.u32("physical_tile"),
                       .address = object.u32("address"),
                       .size = object.u32("size"),
                       .name = object.text("name")};
}

Application read_application(const Json& document, JsonData data) {
    const ObjectReader object(document, "",
                              {"compiler_version", "tiles", "inputs", "outputs", "weights", "host_exchange",
                               "entry_points", "device_config_writes", "profile_tiles", "debug_symbols",
                               "debug_regions"});
    Application app;
    app.compiler_version = object.text("compiler_version");
    app.tiles =
        object.list("tiles", [&](const Json& v, const std::string& p) { return read_tile(v, p, data); });
    app.inputs = object.list("inputs", read_binding);
    app.outputs = object.list("outputs", read_binding);
    app.weights = object.list("weights", read_binding);
    app.host_exchange = read_host_exchange(object.member("host_exchange"), object.path("host_exchange"));
    app.entry_points = object.list("entry_points", read_entry_point);
    app.device_config_writes = object.list("device_config_writes", read_config_write);
    app.profile_tiles = object.list("profile_tiles", read_plan);
    app.debug_symbols = object.list("debug_symbols", read_debug_symbol);
    app.debug_regions = object.list("debug_regions", read_debug_region);
    return app;
}

CycleSample read_sample(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"step", "start_cycle", "end_cycle"});
    return CycleSample{.step = read_step(object.member("step"), object.path("step")),
                       .start_cycle = object.u32("start_cycle"),
                       .end_cycle = object.u32("end_cycle")};
}

TileProfile read_tile_profile(const Json& value, const std::string& path) {
    const ObjectReader object(value, path, {"physical_tile", "samples"});
    return TileProfile{.physical_tile = object.u32("physical_tile"),
                       .samples = object.list("samples", read_sample)};
}

template <class Read>
auto convert(Read read) -> Result<decltype(read())> {
    try {
        return read();
    } catch (const Refusal& refusal) {
        return std::unexpected(PackageError::invalid(refusal.message));
    } catch (const std::bad_alloc&) {
        return std::unexpected(PackageError::invalid("json: out of memory"));
    }
}

} // namespace

Result<Application> application_from_json(const Json& document, JsonData data) {
    return convert([&] { return read_application(document, data); });
}

Result<ProfileReport> profile_report_from_json(const Json& document) {
    return convert([&] {
        const ObjectReader object(document, "", {"clock_hz", "tiles"});
        return ProfileReport{.clock_hz = object.u64("clock_hz"),
                             .tiles = object.list("tiles", read_tile_profile)};
    });
}

} // namespace tarn_package
