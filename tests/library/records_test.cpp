#include <gtest/gtest.h>

#include "fixtures.hpp"

namespace tarn_package {
namespace {

TEST(Records, DefaultApplication) {
    const Application app;
    EXPECT_EQ(app.compiler_version, "0.1.0");
    EXPECT_TRUE(app.tiles.empty());
    EXPECT_EQ(app.host_exchange, HostExchange{});
}

} // namespace
} // namespace tarn_package
