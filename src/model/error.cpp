#include <tarn_package/error.hpp>

#include <ostream>
#include <type_traits>

namespace tarn_package {
namespace {

// Runtime descriptions may span lines; a rendering is always one line.
std::string one_line(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line;
}

} // namespace

PackageError PackageError::invalid(std::string message) {
    return PackageError(Invalid{std::move(message)});
}

PackageError::Kind PackageError::kind() const noexcept {
    return static_cast<Kind>(value.index());
}

std::string PackageError::what() const {
    std::string rendering(to_string(kind()));
    rendering += ": ";
    std::visit(
        [&](const auto& fault) {
            using Fault = std::decay_t<decltype(fault)>;
            if constexpr (std::is_same_v<Fault, Capnp>) {
                rendering += fault.kind + ": " + one_line(fault.description);
            } else if constexpr (std::is_same_v<Fault, Io>) {
                rendering += one_line(fault.description) + ": " + fault.code.message();
            } else if constexpr (std::is_same_v<Fault, Utf8>) {
                rendering += "invalid UTF-8, valid up to byte " + std::to_string(fault.valid_up_to);
            } else if constexpr (std::is_same_v<Fault, SchemaEnum>) {
                rendering += "enumerant number " + std::to_string(fault.value) + " is not in the schema";
            } else {
                rendering += one_line(fault.message);
            }
        },
        value);
    return rendering;
}

std::string_view to_string(PackageError::Kind kind) noexcept {
    switch (kind) {
    case PackageError::Kind::Capnp:
        return "Capnp";
    case PackageError::Kind::Io:
        return "Io";
    case PackageError::Kind::Utf8:
        return "Utf8";
    case PackageError::Kind::SchemaEnum:
        return "SchemaEnum";
    case PackageError::Kind::Invalid:
        return "Invalid";
    }
    return "unknown";
}

std::string to_string(const PackageError& error) {
    return error.what();
}

std::ostream& operator<<(std::ostream& out, PackageError::Kind kind) {
    return out << to_string(kind);
}

std::ostream& operator<<(std::ostream& out, const PackageError& error) {
    return out << error.what();
}

} // namespace tarn_package
