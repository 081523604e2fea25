#include <tarn_package/render.hpp>

#include <tarn_package/fields.hpp>

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

template <DescribedEnum Enum>
void render(std::ostream& out, Enum value) {
    out << to_string(value);
}

template <class T>
void render(std::ostream& out, const std::vector<T>& list);

// Writes "Name { field: value, ... }" from the record's field table.
template <DescribedRecord Record>
void render(std::ostream& out, const Record& record) {
    out << RecordFields<Record>::name << " {";
    bool empty = true;
    for_each_field(record, [&](std::string_view name, const auto& value) {
        out << (empty ? " " : ", ") << name << ": ";
        render(out, value);
        empty = false;
    });
    out << (empty ? "}" : " }");
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

template <class T>
std::string render_to_string(const T& value) {
    std::ostringstream out;
    render(out, value);
    return std::move(out).str();
}

} // namespace

std::string_view to_string(ProfileStepKind kind) noexcept {
    return enumerant_name(kind).value_or("ProfileStepKind(?)");
}

std::string_view to_string(ProfileExchangeActivityKind kind) noexcept {
    return enumerant_name(kind).value_or("ProfileExchangeActivityKind(?)");
}

std::ostream& operator<<(std::ostream& out, ProfileStepKind kind) {
    return out << to_string(kind);
}

std::ostream& operator<<(std::ostream& out, ProfileExchangeActivityKind kind) {
    return out << to_string(kind);
}

// The two functions that render.hpp declares for each record.
#define TARN_PACKAGE_DEFINE_RENDERING(Record)                                                                \
    std::ostream& operator<<(std::ostream& out, const Record& value) {                                       \
        render(out, value);                                                                                  \
        return out;                                                                                          \
    }                                                                                                        \
    std::string to_string(const Record& value) {                                                             \
        return render_to_string(value);                                                                      \
    }

TARN_PACKAGE_DEFINE_RENDERING(Segment)
TARN_PACKAGE_DEFINE_RENDERING(TileImage)
TARN_PACKAGE_DEFINE_RENDERING(RegionSlice)
TARN_PACKAGE_DEFINE_RENDERING(Binding)
TARN_PACKAGE_DEFINE_RENDERING(HostPage)
TARN_PACKAGE_DEFINE_RENDERING(HostSlice)
TARN_PACKAGE_DEFINE_RENDERING(HostCall)
TARN_PACKAGE_DEFINE_RENDERING(HostExchange)
TARN_PACKAGE_DEFINE_RENDERING(EntryPoint)
TARN_PACKAGE_DEFINE_RENDERING(DeviceConfigWrite)
TARN_PACKAGE_DEFINE_RENDERING(DebugSymbol)
TARN_PACKAGE_DEFINE_RENDERING(DebugRegion)
TARN_PACKAGE_DEFINE_RENDERING(ProfileMetadata)
TARN_PACKAGE_DEFINE_RENDERING(ProfileExchangeActivity)
TARN_PACKAGE_DEFINE_RENDERING(ProfileStep)
TARN_PACKAGE_DEFINE_RENDERING(TileProfilePlan)
TARN_PACKAGE_DEFINE_RENDERING(Application)
TARN_PACKAGE_DEFINE_RENDERING(CycleSample)
TARN_PACKAGE_DEFINE_RENDERING(TileProfile)
TARN_PACKAGE_DEFINE_RENDERING(ProfileReport)

#undef TARN_PACKAGE_DEFINE_RENDERING

} // namespace tarn_package
