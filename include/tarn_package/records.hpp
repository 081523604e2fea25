#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include <tarn_package/error.hpp>

namespace tarn_package {

// The records are plain values: each owns its texts, byte strings and lists, refers to others
// only by number, and compares equal field by field and element by element in order.
// Whether a package is sound is decided by Application::validate, never by the records.

enum class ProfileStepKind : std::uint16_t { Exchange = 0, Compute = 1, Synchronization = 2, Idle = 3 };

enum class ProfileExchangeActivityKind : std::uint16_t { Send = 0, Receive = 1, PartnerBusy = 2 };

/// One stretch of a tile's memory; bytes past `data` up to `memory_size` are zero.
struct Segment {
    std::uint32_t address = 0;
    std::uint32_t memory_size = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t flags = 0;

    bool operator==(const Segment&) const = default;
};

/// The image loaded into one physical tile.
struct TileImage {
    std::uint32_t physical_tile = 0;
    std::uint32_t entry_point = 0;
    std::uint32_t command_address = 0;
    std::uint32_t diagnostic_address = 0;
    std::vector<Segment> segments;

    bool operator==(const TileImage&) const = default;
};

/// One piece of a binding: `size` bytes at `tile_address` of `tile`, at `file_offset` of the
/// binding's own byte image.
struct RegionSlice {
    std::uint32_t tile = 0;
    std::uint32_t tile_address = 0;
    std::uint64_t file_offset = 0;
    std::uint64_t size = 0;

    bool operator==(const RegionSlice&) const = default;
};

/// A named tensor whose bytes lie in tile memory.
struct Binding {
    std::string name;
    std::string dtype;
    std::vector<std::uint32_t> shape;
    std::vector<RegionSlice> slices;

    bool operator==(const Binding&) const = default;
};

struct HostPage {
    std::uint32_t index = 0;
    std::uint64_t size = 0;

    bool operator==(const HostPage&) const = default;
};

/// One piece of host memory.
struct HostSlice {
    std::uint32_t page = 0;
    std::uint64_t page_offset = 0;
    std::uint64_t file_offset = 0;
    std::uint64_t size = 0;

    bool operator==(const HostSlice&) const = default;
};

/// A call through which the host feeds the application and collects its results. The batch
/// ends are exclusive, cumulative slice counts over `inputs` and `outputs`.
struct HostCall {
    std::string name;
    std::uint32_t command = 0;
    std::uint32_t phases = 0;
    std::vector<HostSlice> inputs;
    std::vector<HostSlice> outputs;
    std::uint32_t invocations = 0;
    std::vector<std::uint32_t> input_batch_ends;
    std::vector<std::uint32_t> output_batch_ends;

    bool operator==(const HostCall&) const = default;
};

/// The host exchange protocol.
struct HostExchange {
    std::uint32_t startup_mark = 0;
    std::uint32_t command_page = 0;
    std::uint64_t command_offset = 0;
    std::vector<HostPage> pages;
    std::vector<std::uint32_t> attach_order;
    std::vector<HostCall> calls;

    bool operator==(const HostExchange&) const = default;
};

struct EntryPoint {
    std::string name;
    std::uint32_t command = 0;
    std::uint32_t external_syncs = 0;

    bool operator==(const EntryPoint&) const = default;
};

struct DeviceConfigWrite {
    std::uint32_t offset = 0;
    std::uint32_t value = 0;

    bool operator==(const DeviceConfigWrite&) const = default;
};

struct DebugSymbol {
    std::string name;
    std::uint32_t address = 0;

    bool operator==(const DebugSymbol&) const = default;
};

/// A region of the debug map; `physical_tile` 0xffffffff means no particular tile.
struct DebugRegion {
    std::uint32_t physical_tile = 0;
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::string name;

    bool operator==(const DebugRegion&) const = default;
};

struct ProfileMetadata {
    std::string name;
    std::string value;

    bool operator==(const ProfileMetadata&) const = default;
};

struct ProfileExchangeActivity {
    ProfileExchangeActivityKind kind = ProfileExchangeActivityKind::Send;
    std::uint32_t start_cycle = 0;
    std::uint32_t end_cycle = 0;

    bool operator==(const ProfileExchangeActivity&) const = default;
};

/// One planned step of a tile; the step at position i of its plan has `local_index` i.
struct ProfileStep {
    std::uint32_t local_index = 0;
    std::uint32_t phase = 0;
    std::uint32_t epoch = 0;
    std::string operation;
    ProfileStepKind kind = ProfileStepKind::Exchange;
    std::string kernel;
    std::vector<ProfileMetadata> metadata;
    std::vector<ProfileExchangeActivity> exchange_activities;
    std::uint32_t exchange_event_cycles = 0;

    bool operator==(const ProfileStep&) const = default;
};

/// What a profiling run samples on one tile.
struct TileProfilePlan {
    std::uint32_t physical_tile = 0;
    std::vector<ProfileStep> steps;

    bool operator==(const TileProfilePlan&) const = default;
};

struct ProfileReport;

/// One compiled application: everything a loader and a host runtime need.
struct Application {
    std::string compiler_version = "0.1.0";
    std::vector<TileImage> tiles;
    std::vector<Binding> inputs;
    std::vector<Binding> outputs;
    std::vector<Binding> weights;
    HostExchange host_exchange;
    std::vector<EntryPoint> entry_points;
    std::vector<DeviceConfigWrite> device_config_writes;
    std::vector<TileProfilePlan> profile_tiles;
    std::vector<DebugSymbol> debug_symbols;
    std::vector<DebugRegion> debug_regions;

    /// Checks the package against the target's structural rules, in a fixed order, and
    /// returns the first broken rule as an `Invalid` error.
    [[nodiscard]] Result<void> validate() const;

    /// The memory image of the first tile numbered `physical_tile`: the bytes from its lowest
    /// segment address up to its highest segment end, each segment's data in place and zeros
    /// elsewhere. A loader places it at the tile's lowest segment address. Segments whose end
    /// does not fit in 32 bits or whose data exceeds their memory size are refused.
    [[nodiscard]] Result<std::vector<std::uint8_t>> tile_image(std::uint32_t physical_tile) const;

    /// Decodes the cycle counter readings of a profiling run. `output` holds the contents of all
    /// output bindings back to back, in the order of `outputs`; the report has one entry per
    /// profile plan, in plan order, and `clock_hz` is stored unchanged. Works on any package,
    /// valid or not, and reads `output` only during the call.
    [[nodiscard]] Result<ProfileReport> profile_report(std::span<const std::uint8_t> output,
                                                       std::uint64_t clock_hz) const;

    /// Validates the package and appends it to `output` as one framed message; bytes already in
    /// `output` stay in front of it. The same package always gives the same bytes. On failure
    /// nothing is written if validation refused the package.
    [[nodiscard]] Result<void> write(std::vector<std::uint8_t>& output) const;

    /// Validates the package and writes it to `output` as one framed message, then flushes the
    /// stream. A stream that fails keeps the bytes it accepted before failing.
    [[nodiscard]] Result<void> write(std::ostream& output) const;

    /// Reads the one message at the start of `input`, refuses a header of another schema
    /// version, target or tile memory window, and returns the package if it is valid. Bytes
    /// after the message are not examined; the result refers to nothing in `input`.
    [[nodiscard]] static Result<Application> read(std::span<const std::uint8_t> input);

    /// As above, consuming exactly the bytes of one message from `input`.
    [[nodiscard]] static Result<Application> read(std::istream& input);

    bool operator==(const Application&) const = default;
};

/// One step with the raw counter readings at its start and at the next step's start.
/// `end_cycle` may be below `start_cycle` when the counter wrapped.
struct CycleSample {
    ProfileStep step;
    std::uint32_t start_cycle = 0;
    std::uint32_t end_cycle = 0;

    bool operator==(const CycleSample&) const = default;
};

struct TileProfile {
    std::uint32_t physical_tile = 0;
    std::vector<CycleSample> samples;

    bool operator==(const TileProfile&) const = default;
};

/// A decoded cycle profile: one entry per profile plan of the package, in plan order.
struct ProfileReport {
    std::uint64_t clock_hz = 0;
    std::vector<TileProfile> tiles;

    /// Appends the report to `output` as one framed message; bytes already there stay in front.
    [[nodiscard]] Result<void> write(std::vector<std::uint8_t>& output) const;

    /// Writes the report to `output` as one framed message, then flushes the stream.
    [[nodiscard]] Result<void> write(std::ostream& output) const;

    /// Reads the one report message at the start of `input` (schema versions 1 to 5). Bytes
    /// after the message are not examined.
    [[nodiscard]] static Result<ProfileReport> read(std::span<const std::uint8_t> input);

    /// As above, consuming exactly the bytes of one message from `input`.
    [[nodiscard]] static Result<ProfileReport> read(std::istream& input);

    bool operator==(const ProfileReport&) const = default;
};

} // namespace tarn_package
