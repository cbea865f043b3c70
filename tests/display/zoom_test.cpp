#include "display/zoom.h"

#include <gtest/gtest.h>

namespace lyrvox {
namespace {

TEST(ZoomFactor, StepsAtTheThresholdsOfTheCurrentWidth) {
    const struct {
        int width;
        double factor;
    } cases[] = {{0, 1},   {245, 1}, {293, 1}, {294, 1.5}, {440, 1.5}, {441, 2},  {587, 2},
                 {588, 3}, {781, 3}, {782, 1}, {881, 1},   {882, 1},   {1000, 1}, {32767, 1}};
    for (const auto& c : cases) EXPECT_EQ(ZoomFactorFor(c.width), c.factor) << "width " << c.width;
}

TEST(ZoomText, IsTheWidthOver292ToOneDecimalWithHalvesRoundingUp) {
    // 73 / 292 = 0.25 exactly: the half goes away from zero.
    const struct {
        int width;
        const char* text;
    } cases[] = {{294, "1.0x"},  {441, "1.5x"}, {588, "2.0x"},   {882, "3.0x"},
                 {1000, "3.4x"}, {300, "1.0x"}, {2920, "10.0x"}, {1, "0.0x"},
                 {14, "0.0x"},   {15, "0.1x"},  {73, "0.3x"},    {72, "0.2x"}};
    for (const auto& c : cases) EXPECT_EQ(ZoomText(c.width), c.text) << "width " << c.width;
}

}  // namespace
}  // namespace lyrvox
