// A client program that includes only the umbrella header and links only the public target.
#include <tarn_package/tarn_package.hpp>

#include <cstdio>
#include <string>

#include "fixtures.hpp"

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "client: %s\n", what);
        ++failures;
    }
}

} // namespace

int main() {
    using namespace tarn_package;
    const Application minimal = testing::minimal_application();
    const Application populated = testing::populated_application();
    Application copy = populated;
    expect(copy == populated, "a copy equals its original");
    copy.debug_symbols.front().name = "other";
    expect(copy != populated, "a changed copy differs");
    expect(populated.debug_symbols.front().name == "kernel", "the original is unchanged");
    expect(minimal.validate().has_value(), "the minimal package is valid");
    expect(populated.validate().has_value(), "the populated package is valid");

    const auto refused = Application{}.validate();
    expect(!refused && refused.error().kind() == PackageError::Kind::Invalid, "an empty package is invalid");
    expect(!refused && refused.error().what() == "Invalid: application has no tiles", "the exact message");
    expect(!to_string(populated).empty(), "a package renders");
    return failures == 0 ? 0 : 1;
}
