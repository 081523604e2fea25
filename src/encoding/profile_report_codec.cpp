#include <tarn_package/records.hpp>

#include <istream>
#include <ostream>
#include <string>

#include <capnp/message.h>

#include "encoding/capnp_errors.hpp"
#include "encoding/field_conversion.hpp"
#include "encoding/message_io.hpp"
#include "encoding/step_conversion.hpp"
#include "model/checked.hpp"
#include "profile.capnp.h"

// A report is stored as a message of its own; neither direction logs or validates content.

namespace tarn_package {
namespace {

namespace wire = schema::profile;

// Written as the newest version; older ones lack fields at the end of their structs, which
// then read as zero.
constexpr std::uint32_t report_schema_version = 5;
constexpr std::uint32_t oldest_report_schema_version = 1;

void build_message(capnp::MessageBuilder& message, const ProfileReport& report) {
    auto root = message.initRoot<wire::Profile>();
    root.setSchemaVersion(report_schema_version);
    root.setClockHz(report.clock_hz);
    auto tiles = root.initTiles(detail::list_count(report.tiles.size()));
    for (unsigned i = 0; i < tiles.size(); ++i) {
        auto tile = tiles[i];
        const TileProfile& source = report.tiles[i];
        tile.setPhysicalTile(source.physical_tile);
        auto samples = tile.initSamples(detail::list_count(source.samples.size()));
        for (unsigned j = 0; j < samples.size(); ++j) {
            auto sample = samples[j];
            sample.setStartCycle(source.samples[j].start_cycle);
            sample.setEndCycle(source.samples[j].end_cycle);
            detail::write_step(sample.initStep(), source.samples[j].step);
        }
    }
}

Result<CycleSample> read_sample(wire::CycleSample::Reader input) {
    CycleSample sample;
    sample.start_cycle = input.getStartCycle();
    sample.end_cycle = input.getEndCycle();
    if (auto error = detail::assign(sample.step, detail::read_step(input.getStep()))) {
        return detail::fail(*error);
    }
    return sample;
}

Result<TileProfile> read_tile(wire::TileProfile::Reader input) {
    TileProfile tile;
    tile.physical_tile = input.getPhysicalTile();
    if (auto error =
            detail::assign(tile.samples, detail::read_list<CycleSample>(input.getSamples(), read_sample))) {
        return detail::fail(*error);
    }
    return tile;
}

Result<ProfileReport> read_report(wire::Profile::Reader root) {
    const std::uint32_t version = root.getSchemaVersion();
    if (version < oldest_report_schema_version || version > report_schema_version) {
        return detail::invalid("unsupported profile schema version " + std::to_string(version));
    }
    ProfileReport report;
    if (auto error =
            detail::assign(report.tiles, detail::read_list<TileProfile>(root.getTiles(), read_tile))) {
        return detail::fail(*error);
    }
    report.clock_hz = root.getClockHz();
    return report;
}

template <class Sink>
Result<void> write_report(const ProfileReport& report, Sink& output) {
    return detail::capnp_barrier([&]() -> Result<void> {
        capnp::MallocMessageBuilder message;
        build_message(message, report);
        detail::write_message(message, output);
        return {};
    });
}

template <class Source>
Result<ProfileReport> read_report_from(Source& input) {
    return detail::capnp_barrier([&]() -> Result<ProfileReport> {
        detail::FramedMessage message(input);
        return read_report(message.root<wire::Profile>());
    });
}

} // namespace

Result<void> ProfileReport::write(std::vector<std::uint8_t>& output) const {
    return write_report(*this, output);
}

Result<void> ProfileReport::write(std::ostream& output) const {
    return write_report(*this, output);
}

Result<ProfileReport> ProfileReport::read(std::span<const std::uint8_t> input) {
    return read_report_from(input);
}

Result<ProfileReport> ProfileReport::read(std::istream& input) {
    return read_report_from(input);
}

} // namespace tarn_package
