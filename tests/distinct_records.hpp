// Records whose every field holds a value of its own, built from their field tables, for tests
// that check each field is rendered, dumped and read back.
#pragma once

#include <tarn_package/fields.hpp>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace tarn_package::testing {

/// Fills `value` from `seed`, counting it up per field: numbers, texts and bytes differ from
/// those of a seed far enough away; lists hold one element, and an enumeration holds its last
/// enumerant when the count is even and its first when it is odd, so seeds of opposite parity
/// differ there too.
template <class T>
void fill_distinct(T& value, std::uint32_t& seed) {
    if constexpr (DescribedRecord<T>) {
        for_each_field(value, [&](std::string_view, auto& field) { fill_distinct(field, seed); });
    } else if constexpr (DescribedEnum<T>) {
        const auto& enumerants = EnumerantTable<T>::enumerants;
        value = (seed++ % 2 == 0) ? enumerants.back().value : enumerants.front().value;
    } else if constexpr (std::is_same_v<T, std::string>) {
        value = "text-" + std::to_string(seed++);
    } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
        value = {static_cast<std::uint8_t>(seed), static_cast<std::uint8_t>(seed >> 8), 0xa5};
        ++seed;
    } else if constexpr (is_list_v<T>) {
        value.clear();
        fill_distinct(value.emplace_back(), seed);
    } else {
        value = static_cast<T>(seed++);
    }
}

/// A record of type `Record` filled by `fill_distinct` from `seed`.
template <DescribedRecord Record>
Record distinct_record(std::uint32_t seed) {
    Record record{};
    fill_distinct(record, seed);
    return record;
}

/// Calls `check.template operator()<Record>()` for every described record.
template <class Check>
void for_each_record_type(Check&& check) {
    [&]<class... Records>(std::tuple<Records...>*) {
        (check.template operator()<Records>(), ...);
    }(static_cast<DescribedRecords*>(nullptr));
}

} // namespace tarn_package::testing
