// g++ instruments code for fuzzing with -fsanitize-coverage=trace-pc: a call to
// __sanitizer_cov_trace_pc in every basic block. libFuzzer no longer counts those calls itself,
// so this file does: it hashes each caller's address into a table of 8-bit counters and hands the
// table to libFuzzer as the counters of one instrumented module. Collisions only blur coverage.

#include <cstddef>
#include <cstdint>

extern "C" void __sanitizer_cov_8bit_counters_init(std::uint8_t* begin, std::uint8_t* end);
extern "C" void __sanitizer_cov_pcs_init(const std::uintptr_t* begin, const std::uintptr_t* end);

namespace {

constexpr std::size_t slots = std::size_t{1} << 16;
std::uint8_t counters[slots];
// libFuzzer pairs every counter with a program counter and flags; the slot number stands in.
std::uintptr_t slot_table[2 * slots];

__attribute__((constructor, no_sanitize_coverage)) void register_counters() {
    for (std::size_t slot = 0; slot < slots; ++slot) {
        slot_table[2 * slot] = slot + 1;
    }
    __sanitizer_cov_8bit_counters_init(counters, counters + slots);
    __sanitizer_cov_pcs_init(slot_table, slot_table + 2 * slots);
}

} // namespace

extern "C" __attribute__((no_sanitize_coverage, no_sanitize("address", "undefined"))) void
__sanitizer_cov_trace_pc() {
    const auto caller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    ++counters[(caller ^ (caller >> 16)) & (slots - 1)];
}
