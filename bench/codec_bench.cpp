// Writing and reading a package of about 100 MiB of segment bytes, one of about 100k small
// records, and a profile report of about 100k samples.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <tarn_package/tarn_package.hpp>

namespace tarn_package {
namespace {

// 164 tiles whose one segment fills the tile memory window: 100 MiB of segment bytes.
Application large_segments_package() {
    constexpr std::uint32_t window = 0x9c000;
    Application app;
    for (std::uint32_t tile = 0; tile < 164; ++tile) {
        std::vector<std::uint8_t> data(window, static_cast<std::uint8_t>(tile));
        app.tiles.push_back(TileImage{tile, 0x4c000, 0, 0, {Segment{0x4c000, window, std::move(data), 0}}});
    }
    return app;
}

// One tile, then 50k debug symbols and 50k entry points: 100k small records with a text each.
Application small_records_package() {
    Application app;
    app.tiles.push_back(TileImage{0, 0x4c000, 0, 0, {Segment{0x4c000, 16, {1, 2, 3, 4}, 0}}});
    for (std::uint32_t i = 0; i < 50'000; ++i) {
        app.debug_symbols.push_back(DebugSymbol{"symbol." + std::to_string(i), 0x4c000 + i});
        app.entry_points.push_back(EntryPoint{"entry." + std::to_string(i), i, 0});
    }
    return app;
}

// One tile of 100k samples, each with a step of one metadata entry and one activity.
ProfileReport large_report() {
    ProfileReport report{1'000'000'000, {TileProfile{3, {}}}};
    for (std::uint32_t i = 0; i < 100'000; ++i) {
        ProfileStep step;
        step.local_index = i;
        step.operation = "operation";
        step.kernel = "kernel";
        step.metadata = {ProfileMetadata{"reason", "kernel"}};
        step.exchange_activities = {ProfileExchangeActivity{ProfileExchangeActivityKind::Send, i, i + 1}};
        report.tiles.front().samples.push_back(CycleSample{std::move(step), i, i + 1});
    }
    return report;
}

template <class Record>
void bench_write(benchmark::State& state, const Record& record) {
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        bytes.clear();
        if (!record.write(bytes)) {
            state.SkipWithError("write failed");
            break;
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

template <class Record>
void bench_read(benchmark::State& state, const Record& record) {
    std::vector<std::uint8_t> bytes;
    if (!record.write(bytes)) {
        state.SkipWithError("write failed");
        return;
    }
    for (auto _ : state) {
        auto read = Record::read(bytes);
        if (!read) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(read->tiles.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void write_large_segments(benchmark::State& state) {
    static const Application app = large_segments_package();
    bench_write(state, app);
}

void read_large_segments(benchmark::State& state) {
    static const Application app = large_segments_package();
    bench_read(state, app);
}

void write_small_records(benchmark::State& state) {
    static const Application app = small_records_package();
    bench_write(state, app);
}

void read_small_records(benchmark::State& state) {
    static const Application app = small_records_package();
    bench_read(state, app);
}

void write_report(benchmark::State& state) {
    static const ProfileReport report = large_report();
    bench_write(state, report);
}

void read_report(benchmark::State& state) {
    static const ProfileReport report = large_report();
    bench_read(state, report);
}

BENCHMARK(write_large_segments)->Unit(benchmark::kMillisecond);
BENCHMARK(read_large_segments)->Unit(benchmark::kMillisecond);
BENCHMARK(write_small_records)->Unit(benchmark::kMillisecond);
BENCHMARK(read_small_records)->Unit(benchmark::kMillisecond);
BENCHMARK(write_report)->Unit(benchmark::kMillisecond);
BENCHMARK(read_report)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tarn_package
