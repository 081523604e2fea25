#include "encoding/capnp_errors.hpp"

#include <string>

namespace tarn_package::detail {
namespace {

std::string kind_name(kj::Exception::Type type) {
    switch (type) {
    case kj::Exception::Type::FAILED:
        return "FAILED";
    case kj::Exception::Type::OVERLOADED:
        return "OVERLOADED";
    case kj::Exception::Type::DISCONNECTED:
        return "DISCONNECTED";
    case kj::Exception::Type::UNIMPLEMENTED:
        return "UNIMPLEMENTED";
    }
    return "FAILED";
}

} // namespace

PackageError capnp_error(const kj::Exception& exception) {
    const kj::StringPtr description = exception.getDescription();
    return PackageError::Capnp{kind_name(exception.getType()),
                               std::string(description.begin(), description.size())};
}

PackageError standard_error(const std::exception& exception) {
    return PackageError::Capnp{"FAILED", exception.what()};
}

} // namespace tarn_package::detail
