#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <variant>

namespace tarn_package {

/// The one error of every fallible operation. The variant says where the fault arose.
///
/// Running out of memory: every operation that cannot allocate what it needs (reading, writing,
/// validating, building an image, decoding a profile, the JSON form) returns `Capnp` with kind
/// "OVERLOADED", the message runtime's own kind for exhausted resources, and a description that
/// is "out of memory" or starts with "out of memory: ". No operation throws `std::bad_alloc`.
class PackageError {
  public:
    /// A fault of the message runtime: its kind (such as "FAILED") and description.
    struct Capnp {
        std::string kind;
        std::string description;
    };
    /// An I/O error of the platform.
    struct Io {
        std::error_code code;
        std::string description;
    };
    /// A text that is not UTF-8; the bytes before `valid_up_to` were valid.
    struct Utf8 {
        std::size_t valid_up_to = 0;
    };
    /// An enumeration field holding a number that is not one of its enumerants.
    struct SchemaEnum {
        std::uint16_t value = 0;
    };
    /// A broken rule, a refused header or version, or an out-of-range number.
    struct Invalid {
        std::string message;
    };

    enum class Kind { Capnp, Io, Utf8, SchemaEnum, Invalid };

    using Value = std::variant<Capnp, Io, Utf8, SchemaEnum, Invalid>;

    // Each fault but `Invalid` converts implicitly, so a fallible step can hand it on unchanged;
    // an `Invalid` error is built on purpose, from its message.
    PackageError(Capnp fault) : value(std::move(fault)) {}
    PackageError(Io fault) : value(std::move(fault)) {}
    PackageError(Utf8 fault) : value(fault) {}
    PackageError(SchemaEnum fault) : value(fault) {}
    explicit PackageError(Invalid fault) : value(std::move(fault)) {}

    /// An `Invalid` error carrying `message`.
    [[nodiscard]] static PackageError invalid(std::string message);

    [[nodiscard]] Kind kind() const noexcept;

    /// One line: the variant's name and the rendering of what it carries.
    [[nodiscard]] std::string what() const;

    Value value;
};

// kind() is the variant's index: the two orders must agree.
template <PackageError::Kind K, class Fault>
inline constexpr bool kind_holds =
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(K), PackageError::Value>, Fault>;
static_assert(kind_holds<PackageError::Kind::Capnp, PackageError::Capnp> &&
              kind_holds<PackageError::Kind::Io, PackageError::Io> &&
              kind_holds<PackageError::Kind::Utf8, PackageError::Utf8> &&
              kind_holds<PackageError::Kind::SchemaEnum, PackageError::SchemaEnum> &&
              kind_holds<PackageError::Kind::Invalid, PackageError::Invalid>);

template <class T>
using Result = std::expected<T, PackageError>;

[[nodiscard]] std::string_view to_string(PackageError::Kind kind) noexcept;
[[nodiscard]] std::string to_string(const PackageError& error);
std::ostream& operator<<(std::ostream& out, PackageError::Kind kind);
std::ostream& operator<<(std::ostream& out, const PackageError& error);

} // namespace tarn_package
