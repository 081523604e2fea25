#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include <tarn_package/records.hpp>

namespace tarn_package {

// Diagnostic rendering: a record renders as its name and each field's name and value in
// declaration order, an enumerant as its name, a list as its elements in order, a text quoted
// with escapes and a byte string as its length and first bytes in hexadecimal.

[[nodiscard]] std::string_view to_string(ProfileStepKind kind) noexcept;
std::ostream& operator<<(std::ostream& out, ProfileStepKind kind);

[[nodiscard]] std::string_view to_string(ProfileExchangeActivityKind kind) noexcept;
std::ostream& operator<<(std::ostream& out, ProfileExchangeActivityKind kind);

[[nodiscard]] std::string to_string(const Segment& value);
std::ostream& operator<<(std::ostream& out, const Segment& value);

[[nodiscard]] std::string to_string(const TileImage& value);
std::ostream& operator<<(std::ostream& out, const TileImage& value);

[[nodiscard]] std::string to_string(const RegionSlice& value);
std::ostream& operator<<(std::ostream& out, const RegionSlice& value);

[[nodiscard]] std::string to_string(const Binding& value);
std::ostream& operator<<(std::ostream& out, const Binding& value);

[[nodiscard]] std::string to_string(const HostPage& value);
std::ostream& operator<<(std::ostream& out, const HostPage& value);

[[nodiscard]] std::string to_string(const HostSlice& value);
std::ostream& operator<<(std::ostream& out, const HostSlice& value);

[[nodiscard]] std::string to_string(const HostCall& value);
std::ostream& operator<<(std::ostream& out, const HostCall& value);

[[nodiscard]] std::string to_string(const HostExchange& value);
std::ostream& operator<<(std::ostream& out, const HostExchange& value);

[[nodiscard]] std::string to_string(const EntryPoint& value);
std::ostream& operator<<(std::ostream& out, const EntryPoint& value);

[[nodiscard]] std::string to_string(const DeviceConfigWrite& value);
std::ostream& operator<<(std::ostream& out, const DeviceConfigWrite& value);

[[nodiscard]] std::string to_string(const DebugSymbol& value);
std::ostream& operator<<(std::ostream& out, const DebugSymbol& value);

[[nodiscard]] std::string to_string(const DebugRegion& value);
std::ostream& operator<<(std::ostream& out, const DebugRegion& value);

[[nodiscard]] std::string to_string(const ProfileMetadata& value);
std::ostream& operator<<(std::ostream& out, const ProfileMetadata& value);

[[nodiscard]] std::string to_string(const ProfileExchangeActivity& value);
std::ostream& operator<<(std::ostream& out, const ProfileExchangeActivity& value);

[[nodiscard]] std::string to_string(const ProfileStep& value);
std::ostream& operator<<(std::ostream& out, const ProfileStep& value);

[[nodiscard]] std::string to_string(const TileProfilePlan& value);
std::ostream& operator<<(std::ostream& out, const TileProfilePlan& value);

[[nodiscard]] std::string to_string(const Application& value);
std::ostream& operator<<(std::ostream& out, const Application& value);

[[nodiscard]] std::string to_string(const CycleSample& value);
std::ostream& operator<<(std::ostream& out, const CycleSample& value);

[[nodiscard]] std::string to_string(const TileProfile& value);
std::ostream& operator<<(std::ostream& out, const TileProfile& value);

[[nodiscard]] std::string to_string(const ProfileReport& value);
std::ostream& operator<<(std::ostream& out, const ProfileReport& value);

} // namespace tarn_package
