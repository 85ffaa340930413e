// The landing offset at the ends of the generator's range. The test program
// puts its own random_r in front of the C library's, so that the real
// generateRandom meets the draws it can only meet by chance in a game.
#include <cstdint>
#include <cstdlib>
#include <optional>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <game/rules.h>

#include "game_fixture.h"

namespace {

std::optional<std::int32_t> scripted; // the next draw, when set

} // namespace

extern "C" int random_r(random_data *buf, std::int32_t *result) noexcept {
    if (scripted) {
        *result = *scripted;
        scripted.reset();
        return 0;
    }
    using RandomR = int (*)(random_data *, std::int32_t *);
    static const auto real = reinterpret_cast<RandomR>(::dlsym(RTLD_NEXT, "random_r"));
    return real(buf, result);
}

namespace {

double landingFor(std::int32_t draw) {
    scripted = draw;
    const double x = generateRandom();
    EXPECT_FALSE(scripted) << "generateRandom took no draw";
    return x;
}

} // namespace

using LandingTest = GameTest;

TEST_F(LandingTest, EndsOfTheDrawAreTheEdgesOfTheBoard) {
    EXPECT_EQ(landingFor(0), 0.5);
    EXPECT_EQ(x_adj, 0.5);
    // The largest draw becomes 2^31 as a float: the far edge exactly.
    EXPECT_EQ(landingFor(2147483647), -0.5);
    EXPECT_EQ(x_adj, -0.5);
    EXPECT_EQ(landingFor(1073741824), 0.0);
    EXPECT_EQ(landingFor(536870912), 0.25);
}

TEST_F(LandingTest, UnscriptedDrawsComeFromTheRealGenerator) {
    srandLanding(42u);
    const int first = randLanding();
    srandLanding(42u);
    EXPECT_EQ(generateRandom(),
              static_cast<double>(0.5f - static_cast<float>(first) / 2147483648.0f));
}
