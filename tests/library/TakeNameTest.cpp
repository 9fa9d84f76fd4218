// A take's name as typed becomes one the document and the menu can hold.
#include <gtest/gtest.h>

#include <string>

#include "library/BLTake.h"

namespace {

TEST(TakeName, TypedNamesLoseControlsAndBlanksAndAreCutOnACharacter)
{
    EXPECT_EQ(BLTake_CleanName("  Night\njam\t\x7f \u0085"), "Nightjam");
    EXPECT_EQ(BLTake_CleanName("Prise \u00e9t\u00e9 \u2014 2"), "Prise \u00e9t\u00e9 \u2014 2");
    EXPECT_EQ(BLTake_CleanName(" \r\n "), "");
    // 62 letters then a 3-byte dash: the dash would pass the 63rd byte.
    const std::string long62(62, 'a');
    EXPECT_EQ(BLTake_CleanName(long62 + "\u2014b"), long62);
    EXPECT_EQ(BLTake_CleanName(std::string(70, 'x')), std::string(63, 'x'));
    EXPECT_EQ(BLTake_CleanName(std::string(60, 'x') + "   " + "yyyy"), std::string(60, 'x'))
        << "no blank left where it was cut";
}

}  // namespace
