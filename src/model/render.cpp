#include <tarn_package/render.hpp>

#include <cstdio>
#include <ostream>
#include <sstream>

namespace tarn_package {
namespace {

// How many bytes of a byte string a rendering shows before it abbreviates.
constexpr std::size_t shown_bytes = 16;

void render(std::ostream& out, std::uint32_t value) {
    out << value;
}
void render(std::ostream& out, std::uint64_t value) {
    out << value;
}

void render(std::ostream& out, const std::string& text) {
    out << '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out << escaped;
        } else {
            out << c;
        }
    }
    out << '"';
}

void render(std::ostream& out, const std::vector<std::uint8_t>& bytes) {
    out << '<' << bytes.size() << (bytes.size() == 1 ? " byte" : " bytes");
    if (!bytes.empty()) {
        out << ':';
    }
    for (std::size_t i = 0; i < bytes.size() && i < shown_bytes; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, " %02x", bytes[i]);
        out << digits;
    }
    if (bytes.size() > shown_bytes) {
        out << " ...";
    }
    out << '>';
}

template <class T>
void render(std::ostream& out, const T& value) {
    out << value;
}

template <class T>
void render(std::ostream& out, const std::vector<T>& list) {
    out << '[';
    for (std::size_t i = 0; i < list.size(); ++i) {
        out << (i == 0 ? "" : ", ");
        render(out, list[i]);
    }
    out << ']';
}

// Writes "Name { field: value, ... }" one field at a time, in the order of the calls.
class RecordWriter {
  public:
    RecordWriter(std::ostream& out, std::string_view name) : out_(out) { out_ << name << " {"; }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;
    ~RecordWriter() { out_ << (empty_ ? "}" : " }"); }

    template <class T>
    RecordWriter& field(std::string_view name, const T& value) {
        out_ << (empty_ ? " " : ", ") << name << ": ";
        render(out_, value);
        empty_ = false;
        return *this;
    }

  private:
    std::ostream& out_;
    bool empty_ = true;
};

template <class T>
std::string render_to_string(const T& value) {
    std::ostringstream out;
    out << value;
    return std::move(out).str();
}

} // namespace

std::string_view to_string(ProfileStepKind kind) noexcept {
    switch (kind) {
    case ProfileStepKind::Exchange:
        return "Exchange";
    case ProfileStepKind::Compute:
        return "Compute";
    case ProfileStepKind::Synchronization:
        return "Synchronization";
    case ProfileStepKind::Idle:
        return "Idle";
    }
    return "ProfileStepKind(?)";
}

std::string_view to_string(ProfileExchangeActivityKind kind) noexcept {
    switch (kind) {
    case ProfileExchangeActivityKind::Send:
        return "Send";
    case ProfileExchangeActivityKind::Receive:
        return "Receive";
    case ProfileExchangeActivityKind::PartnerBusy:
        return "PartnerBusy";
    }
    return "ProfileExchangeActivityKind(?)";
}

std::ostream& operator<<(std::ostream& out, ProfileStepKind kind) {
    return out << to_string(kind);
}

std::ostream& operator<<(std::ostream& out, ProfileExchangeActivityKind kind) {
    return out << to_string(kind);
}

std::ostream& operator<<(std::ostream& out, const Segment& value) {
    RecordWriter(out, "Segment")
        .field("address", value.address)
        .field("memory_size", value.memory_size)
        .field("data", value.data)
        .field("flags", value.flags);
    return out;
}

std::ostream& operator<<(std::ostream& out, const TileImage& value) {
    RecordWriter(out, "TileImage")
        .field("physical_tile", value.physical_tile)
        .field("entry_point", value.entry_point)
        .field("command_address", value.command_address)
        .field("diagnostic_address", value.diagnostic_address)
        .field("segments", value.segments);
    return out;
}

std::ostream& operator<<(std::ostream& out, const RegionSlice& value) {
    RecordWriter(out, "RegionSlice")
        .field("tile", value.tile)
        .field("tile_address", value.tile_address)
        .field("file_offset", value.file_offset)
        .field("size", value.size);
    return out;
}

std::ostream& operator<<(std::ostream& out, const Binding& value) {
    RecordWriter(out, "Binding")
        .field("name", value.name)
        .field("dtype", value.dtype)
        .field("shape", value.shape)
        .field("slices", value.slices);
    return out;
}

std::ostream& operator<<(std::ostream& out, const HostPage& value) {
    RecordWriter(out, "HostPage").field("index", value.index).field("size", value.size);
    return out;
}

std::ostream& operator<<(std::ostream& out, const HostSlice& value) {
    RecordWriter(out, "HostSlice")
        .field("page", value.page)
        .field("page_offset", value.page_offset)
        .field("file_offset", value.file_offset)
        .field("size", value.size);
    return out;
}

std::ostream& operator<<(std::ostream& out, const HostCall& value) {
    RecordWriter(out, "HostCall")
        .field("name", value.name)
        .field("command", value.command)
        .field("phases", value.phases)
        .field("inputs", value.inputs)
        .field("outputs", value.outputs)
        .field("invocations", value.invocations)
        .field("input_batch_ends", value.input_batch_ends)
        .field("output_batch_ends", value.output_batch_ends);
    return out;
}

std::ostream& operator<<(std::ostream& out, const HostExchange& value) {
    RecordWriter(out, "HostExchange")
        .field("startup_mark", value.startup_mark)
        .field("command_page", value.command_page)
        .field("command_offset", value.command_offset)
        .field("pages", value.pages)
        .field("attach_order", value.attach_order)
        .field("calls", value.calls);
    return out;
}

std::ostream& operator<<(std::ostream& out, const EntryPoint& value) {
    RecordWriter(out, "EntryPoint")
        .field("name", value.name)
        .field("command", value.command)
        .field("external_syncs", value.external_syncs);
    return out;
}

std::ostream& operator<<(std::ostream& out, const DeviceConfigWrite& value) {
    RecordWriter(out, "DeviceConfigWrite").field("offset", value.offset).field("value", value.value);
    return out;
}

std::ostream& operator<<(std::ostream& out, const DebugSymbol& value) {
    RecordWriter(out, "DebugSymbol").field("name", value.name).field("address", value.address);
    return out;
}

std::ostream& operator<<(std::ostream& out, const DebugRegion& value) {
    RecordWriter(out, "DebugRegion")
        .field("physical_tile", value.physical_tile)
        .field("address", value.address)
        .field("size", value.size)
        .field("name", value.name);
    return out;
}

std::ostream& operator<<(std::ostream& out, const ProfileMetadata& value) {
    RecordWriter(out, "ProfileMetadata").field("name", value.name).field("value", value.value);
    return out;
}

std::ostream& operator<<(std::ostream& out, const ProfileExchangeActivity& value) {
    RecordWriter(out, "ProfileExchangeActivity")
        .field("kind", value.kind)
        .field("start_cycle", value.start_cycle)
        .field("end_cycle", value.end_cycle);
    return out;
}

std::ostream& operator<<(std::ostream& out, const ProfileStep& value) {
    RecordWriter(out, "ProfileStep")
        .field("local_index", value.local_index)
        .field("phase", value.phase)
        .field("epoch", value.epoch)
        .field("operation", value.operation)
        .field("kind", value.kind)
        .field("kernel", value.kernel)
        .field("metadata", value.metadata)
        .field("exchange_activities", value.exchange_activities)
        .field("exchange_event_cycles", value.exchange_event_cycles);
    return out;
}

std::ostream& operator<<(std::ostream& out, const TileProfilePlan& value) {
    RecordWriter(out, "TileProfilePlan")
        .field("physical_tile", value.physical_tile)
        .field("steps", value.steps);
    return out;
}

std::ostream& operator<<(std::ostream& out, const Application& value) {
    RecordWriter(out, "Application")
        .field("compiler_version", value.compiler_version)
        .field("tiles", value.tiles)
        .field("inputs", value.inputs)
        .field("outputs", value.outputs)
        .field("weights", value.weights)
        .field("host_exchange", value.host_exchange)
        .field("entry_points", value.entry_points)
        .field("device_config_writes", value.device_config_writes)
        .field("profile_tiles", value.profile_tiles)
        .field("debug_symbols", value.debug_symbols)
        .field("debug_regions", value.debug_regions);
    return out;
}

std::ostream& operator<<(std::ostream& out, const CycleSample& value) {
    RecordWriter(out, "CycleSample")
        .field("step", value.step)
        .field("start_cycle", value.start_cycle)
        .field("end_cycle", value.end_cycle);
    return out;
}

std::ostream& operator<<(std::ostream& out, const TileProfile& value) {
    RecordWriter(out, "TileProfile")
        .field("physical_tile", value.physical_tile)
        .field("samples", value.samples);
    return out;
}

std::ostream& operator<<(std::ostream& out, const ProfileReport& value) {
    RecordWriter(out, "ProfileReport").field("clock_hz", value.clock_hz).field("tiles", value.tiles);
    return out;
}

std::string to_string(const Segment& value) {
    return render_to_string(value);
}
std::string to_string(const TileImage& value) {
    return render_to_string(value);
}
std::string to_string(const RegionSlice& value) {
    return render_to_string(value);
}
std::string to_string(const Binding& value) {
    return render_to_string(value);
}
std::string to_string(const HostPage& value) {
    return render_to_string(value);
}
std::string to_string(const HostSlice& value) {
    return render_to_string(value);
}
std::string to_string(const HostCall& value) {
    return render_to_string(value);
}
std::string to_string(const HostExchange& value) {
    return render_to_string(value);
}
std::string to_string(const EntryPoint& value) {
    return render_to_string(value);
}
std::string to_string(const DeviceConfigWrite& value) {
    return render_to_string(value);
}
std::string to_string(const DebugSymbol& value) {
    return render_to_string(value);
}
std::string to_string(const DebugRegion& value) {
    return render_to_string(value);
}
std::string to_string(const ProfileMetadata& value) {
    return render_to_string(value);
}
std::string to_string(const ProfileExchangeActivity& value) {
    return render_to_string(value);
}
std::string to_string(const ProfileStep& value) {
    return render_to_string(value);
}
std::string to_string(const TileProfilePlan& value) {
    return render_to_string(value);
}
std::string to_string(const Application& value) {
    return render_to_string(value);
}
std::string to_string(const CycleSample& value) {
    return render_to_string(value);
}
std::string to_string(const TileProfile& value) {
    return render_to_string(value);
}
std::string to_string(const ProfileReport& value) {
    return render_to_string(value);
}

} // namespace tarn_package
