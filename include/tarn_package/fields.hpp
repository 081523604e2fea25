// The description of every record and enumeration, written once: each record's name and its
// fields in declaration order (their snake-case names and member pointers), and each
// enumeration's enumerants with their numbers. The diagnostic rendering, the JSON form, the
// views and the Python binding walk these tables instead of listing fields themselves. Not part
// of the umbrella header: include it where records are walked field by field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include <tarn_package/records.hpp>

namespace tarn_package {

/// One field of `Record`: its name and where it lives.
template <class Record, class T>
struct Field {
    using record_type = Record;
    using value_type = T;

    std::string_view name;
    T Record::*member;

    [[nodiscard]] constexpr const T& get(const Record& record) const noexcept { return record.*member; }
    [[nodiscard]] constexpr T& get(Record& record) const noexcept { return record.*member; }
};

template <class Record, class T>
[[nodiscard]] constexpr Field<Record, T> field(std::string_view name, T Record::*member) noexcept {
    return {name, member};
}

/// Specialised below for every record: `name` and `fields`, a tuple of `Field`s in declaration
/// order.
template <class Record>
struct RecordFields;

/// True for the types that have a field table.
template <class T>
concept DescribedRecord = requires {
    { RecordFields<T>::name } -> std::convertible_to<std::string_view>;
    RecordFields<T>::fields;
};

/// One enumerant: its name and its value (whose number both formats store).
template <class Enum>
struct Enumerant {
    std::string_view name;
    Enum value;
};

/// Specialised below for both enumerations: `name` and `enumerants`, in number order.
template <class Enum>
struct EnumerantTable;

template <class T>
concept DescribedEnum = requires {
    EnumerantTable<T>::enumerants;
};

namespace detail {

/// The first enumerant of `Enum` for which `matches` holds, or nothing.
template <DescribedEnum Enum, class Matches>
[[nodiscard]] constexpr std::optional<Enumerant<Enum>> find_enumerant(Matches matches) noexcept {
    for (const auto& enumerant : EnumerantTable<Enum>::enumerants) {
        if (matches(enumerant)) {
            return enumerant;
        }
    }
    return std::nullopt;
}

} // namespace detail

/// The enumerant's name, or nothing for a number that is not an enumerant.
template <DescribedEnum Enum>
[[nodiscard]] constexpr std::optional<std::string_view> enumerant_name(Enum value) noexcept {
    return detail::find_enumerant<Enum>([&](const auto& e) { return e.value == value; })
        .transform([](const auto& e) { return e.name; });
}

/// The enumerant called `name`, or nothing.
template <DescribedEnum Enum>
[[nodiscard]] constexpr std::optional<Enum> enumerant_named(std::string_view name) noexcept {
    return detail::find_enumerant<Enum>([&](const auto& e) { return e.name == name; })
        .transform([](const auto& e) { return e.value; });
}

/// The enumerant whose number is `number`, or nothing.
template <DescribedEnum Enum>
[[nodiscard]] constexpr std::optional<Enum> enumerant_numbered(std::underlying_type_t<Enum> number) noexcept {
    return detail::find_enumerant<Enum>(
               [&](const auto& e) { return static_cast<std::underlying_type_t<Enum>>(e.value) == number; })
        .transform([](const auto& e) { return e.value; });
}

/// Calls `visit(field)` for every field descriptor of `Record`, in declaration order.
template <DescribedRecord Record, class Visit>
constexpr void for_each_field(Visit&& visit) {
    std::apply([&](const auto&... fields) { (visit(fields), ...); }, RecordFields<Record>::fields);
}

/// Calls `visit(name, value)` for every field of `record`, in declaration order; the values
/// are writable when `record` is.
template <class Record, class Visit>
requires DescribedRecord<std::remove_const_t<Record>>
constexpr void for_each_field(Record& record, Visit&& visit) {
    for_each_field<std::remove_const_t<Record>>(
        [&](const auto& field) { visit(field.name, field.get(record)); });
}

/// True for the list types of fields (`std::vector<T>`), byte strings included.
template <class T>
inline constexpr bool is_list_v = false;
template <class T>
inline constexpr bool is_list_v<std::vector<T>> = true;

/// The number of fields a record's table lists.
template <DescribedRecord Record>
inline constexpr std::size_t field_count_v =
    std::tuple_size_v<std::remove_cvref_t<decltype(RecordFields<Record>::fields)>>;

template <>
struct EnumerantTable<ProfileStepKind> {
    static constexpr std::string_view name = "ProfileStepKind";
    static constexpr std::array<Enumerant<ProfileStepKind>, 4> enumerants{{
        {"Exchange", ProfileStepKind::Exchange},
        {"Compute", ProfileStepKind::Compute},
        {"Synchronization", ProfileStepKind::Synchronization},
        {"Idle", ProfileStepKind::Idle},
    }};
};

template <>
struct EnumerantTable<ProfileExchangeActivityKind> {
    static constexpr std::string_view name = "ProfileExchangeActivityKind";
    static constexpr std::array<Enumerant<ProfileExchangeActivityKind>, 3> enumerants{{
        {"Send", ProfileExchangeActivityKind::Send},
        {"Receive", ProfileExchangeActivityKind::Receive},
        {"PartnerBusy", ProfileExchangeActivityKind::PartnerBusy},
    }};
};

template <>
struct RecordFields<Segment> {
    static constexpr std::string_view name = "Segment";
    static constexpr auto fields =
        std::tuple{field("address", &Segment::address), field("memory_size", &Segment::memory_size),
                   field("data", &Segment::data), field("flags", &Segment::flags)};
};

template <>
struct RecordFields<TileImage> {
    static constexpr std::string_view name = "TileImage";
    static constexpr auto fields = std::tuple{
        field("physical_tile", &TileImage::physical_tile), field("entry_point", &TileImage::entry_point),
        field("command_address", &TileImage::command_address),
        field("diagnostic_address", &TileImage::diagnostic_address), field("segments", &TileImage::segments)};
};

template <>
struct RecordFields<RegionSlice> {
    static constexpr std::string_view name = "RegionSlice";
    static constexpr auto fields =
        std::tuple{field("tile", &RegionSlice::tile), field("tile_address", &RegionSlice::tile_address),
                   field("file_offset", &RegionSlice::file_offset), field("size", &RegionSlice::size)};
};

template <>
struct RecordFields<Binding> {
    static constexpr std::string_view name = "Binding";
    static constexpr auto fields =
        std::tuple{field("name", &Binding::name), field("dtype", &Binding::dtype),
                   field("shape", &Binding::shape), field("slices", &Binding::slices)};
};

template <>
struct RecordFields<HostPage> {
    static constexpr std::string_view name = "HostPage";
    static constexpr auto fields =
        std::tuple{field("index", &HostPage::index), field("size", &HostPage::size)};
};

template <>
struct RecordFields<HostSlice> {
    static constexpr std::string_view name = "HostSlice";
    static constexpr auto fields =
        std::tuple{field("page", &HostSlice::page), field("page_offset", &HostSlice::page_offset),
                   field("file_offset", &HostSlice::file_offset), field("size", &HostSlice::size)};
};

template <>
struct RecordFields<HostCall> {
    static constexpr std::string_view name = "HostCall";
    static constexpr auto fields = std::tuple{field("name", &HostCall::name),
                                              field("command", &HostCall::command),
                                              field("phases", &HostCall::phases),
                                              field("inputs", &HostCall::inputs),
                                              field("outputs", &HostCall::outputs),
                                              field("invocations", &HostCall::invocations),
                                              field("input_batch_ends", &HostCall::input_batch_ends),
                                              field("output_batch_ends", &HostCall::output_batch_ends)};
};

template <>
struct RecordFields<HostExchange> {
    static constexpr std::string_view name = "HostExchange";
    static constexpr auto fields = std::tuple{field("startup_mark", &HostExchange::startup_mark),
                                              field("command_page", &HostExchange::command_page),
                                              field("command_offset", &HostExchange::command_offset),
                                              field("pages", &HostExchange::pages),
                                              field("attach_order", &HostExchange::attach_order),
                                              field("calls", &HostExchange::calls)};
};

template <>
struct RecordFields<EntryPoint> {
    static constexpr std::string_view name = "EntryPoint";
    static constexpr auto fields =
        std::tuple{field("name", &EntryPoint::name), field("command", &EntryPoint::command),
                   field("external_syncs", &EntryPoint::external_syncs)};
};

template <>
struct RecordFields<DeviceConfigWrite> {
    static constexpr std::string_view name = "DeviceConfigWrite";
    static constexpr auto fields =
        std::tuple{field("offset", &DeviceConfigWrite::offset), field("value", &DeviceConfigWrite::value)};
};

template <>
struct RecordFields<DebugSymbol> {
    static constexpr std::string_view name = "DebugSymbol";
    static constexpr auto fields =
        std::tuple{field("name", &DebugSymbol::name), field("address", &DebugSymbol::address)};
};

template <>
struct RecordFields<DebugRegion> {
    static constexpr std::string_view name = "DebugRegion";
    static constexpr auto fields = std::tuple{
        field("physical_tile", &DebugRegion::physical_tile), field("address", &DebugRegion::address),
        field("size", &DebugRegion::size), field("name", &DebugRegion::name)};
};

template <>
struct RecordFields<ProfileMetadata> {
    static constexpr std::string_view name = "ProfileMetadata";
    static constexpr auto fields =
        std::tuple{field("name", &ProfileMetadata::name), field("value", &ProfileMetadata::value)};
};

template <>
struct RecordFields<ProfileExchangeActivity> {
    static constexpr std::string_view name = "ProfileExchangeActivity";
    static constexpr auto fields = std::tuple{field("kind", &ProfileExchangeActivity::kind),
                                              field("start_cycle", &ProfileExchangeActivity::start_cycle),
                                              field("end_cycle", &ProfileExchangeActivity::end_cycle)};
};

template <>
struct RecordFields<ProfileStep> {
    static constexpr std::string_view name = "ProfileStep";
    static constexpr auto fields =
        std::tuple{field("local_index", &ProfileStep::local_index),
                   field("phase", &ProfileStep::phase),
                   field("epoch", &ProfileStep::epoch),
                   field("operation", &ProfileStep::operation),
                   field("kind", &ProfileStep::kind),
                   field("kernel", &ProfileStep::kernel),
                   field("metadata", &ProfileStep::metadata),
                   field("exchange_activities", &ProfileStep::exchange_activities),
                   field("exchange_event_cycles", &ProfileStep::exchange_event_cycles)};
};

template <>
struct RecordFields<TileProfilePlan> {
    static constexpr std::string_view name = "TileProfilePlan";
    static constexpr auto fields = std::tuple{field("physical_tile", &TileProfilePlan::physical_tile),
                                              field("steps", &TileProfilePlan::steps)};
};

template <>
struct RecordFields<Application> {
    static constexpr std::string_view name = "Application";
    static constexpr auto fields =
        std::tuple{field("compiler_version", &Application::compiler_version),
                   field("tiles", &Application::tiles),
                   field("inputs", &Application::inputs),
                   field("outputs", &Application::outputs),
                   field("weights", &Application::weights),
                   field("host_exchange", &Application::host_exchange),
                   field("entry_points", &Application::entry_points),
                   field("device_config_writes", &Application::device_config_writes),
                   field("profile_tiles", &Application::profile_tiles),
                   field("debug_symbols", &Application::debug_symbols),
                   field("debug_regions", &Application::debug_regions)};
};

template <>
struct RecordFields<CycleSample> {
    static constexpr std::string_view name = "CycleSample";
    static constexpr auto fields =
        std::tuple{field("step", &CycleSample::step), field("start_cycle", &CycleSample::start_cycle),
                   field("end_cycle", &CycleSample::end_cycle)};
};

template <>
struct RecordFields<TileProfile> {
    static constexpr std::string_view name = "TileProfile";
    static constexpr auto fields = std::tuple{field("physical_tile", &TileProfile::physical_tile),
                                              field("samples", &TileProfile::samples)};
};

template <>
struct RecordFields<ProfileReport> {
    static constexpr std::string_view name = "ProfileReport";
    static constexpr auto fields =
        std::tuple{field("clock_hz", &ProfileReport::clock_hz), field("tiles", &ProfileReport::tiles)};
};

/// Every described record, for code that must cover them all (the field-count check, the
/// Python binding).
using DescribedRecords = std::tuple<Segment, TileImage, RegionSlice, Binding, HostPage, HostSlice, HostCall,
                                    HostExchange, EntryPoint, DeviceConfigWrite, DebugSymbol, DebugRegion,
                                    ProfileMetadata, ProfileExchangeActivity, ProfileStep, TileProfilePlan,
                                    Application, CycleSample, TileProfile, ProfileReport>;

namespace detail {

// Converts to any field type; used only unevaluated, to count an aggregate's fields.
struct AnyField {
    template <class T>
    constexpr operator T&() const noexcept;
};

template <class T, std::size_t... I>
constexpr bool braces_take(std::index_sequence<I...>) {
    return requires {
        T{(static_cast<void>(I), AnyField{})...};
    };
}

/// The number of fields of the aggregate `T`: the most initializers its braces take.
template <class T, std::size_t N = 0>
constexpr std::size_t aggregate_field_count() {
    if constexpr (braces_take<T>(std::make_index_sequence<N + 1>{})) {
        return aggregate_field_count<T, N + 1>();
    } else {
        return N;
    }
}

} // namespace detail

// A field added to a record but not to its table fails the build here, naming the record.
template <class Record>
constexpr bool table_lists_every_field() {
    static_assert(detail::aggregate_field_count<Record>() == field_count_v<Record>,
                  "the record has a field that its RecordFields table does not list");
    return true;
}

template <class... Records>
constexpr bool tables_list_every_field(std::tuple<Records...>*) {
    return (table_lists_every_field<Records>() && ...);
}
static_assert(tables_list_every_field(static_cast<DescribedRecords*>(nullptr)));

} // namespace tarn_package
