// The network link's settings in the preferences: kept from one run to the
// next in an item of their own, which older files lack and damaged ones spoil.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/kelBytes.h"
#include "core/kelRes.h"
#include "library/BLprefs.h"
#include "library/SongTestFiles.h"

using namespace songtest;

namespace {

using NetPrefs = ProgramFolder;

TEST_F(NetPrefs, LinkSettingsComeBackAndABadItemLeavesTheDefaults)
{
    {
        blPrefsClass prefs;
        prefs.load();
        EXPECT_EQ(prefs.netMode, 0) << "no file: the link is off";
        EXPECT_EQ(prefs.netPort, kBLNetDefaultPort);
        EXPECT_STREQ(prefs.netAddress, "");
        prefs.netMode = 1;
        prefs.netPort = 50123;
        std::snprintf(prefs.netAddress, sizeof prefs.netAddress, "studio.local");
        std::snprintf(prefs.netIdentity, sizeof prefs.netIdentity, "%s", std::string(32, 'a').c_str());
        std::snprintf(prefs.netTrusted[0], sizeof prefs.netTrusted[0], "%s", std::string(32, '1').c_str());
        std::snprintf(prefs.netTrusted[1], sizeof prefs.netTrusted[1], "%s", std::string(32, 'f').c_str());
        prefs.netTrustedCount = 2;
        prefs.interfaceColor = 3;
        ASSERT_TRUE(prefs.save());
    }
    blPrefsClass again;
    again.load();
    EXPECT_EQ(again.netMode, 1);
    EXPECT_EQ(again.netPort, 50123);
    EXPECT_STREQ(again.netAddress, "studio.local");
    EXPECT_EQ(std::string(again.netIdentity), std::string(32, 'a'));
    ASSERT_EQ(again.netTrustedCount, 2);
    EXPECT_EQ(std::string(again.netTrusted[1]), std::string(32, 'f'));
    EXPECT_EQ(again.interfaceColor, 3) << "the items before it are read as ever";

    // An identity that is not one the link makes is not taken.
    {
        KelResFile file;
        ASSERT_TRUE(file.SetWorkName(kBLPrefsFileName));
        ASSERT_TRUE(file.Open());
        const std::string bad = std::string(31, '1') + "G";
        ASSERT_TRUE(file.SaveData(bad.data(), 32, kelFourCC("nett"), 0));
        ASSERT_TRUE(file.Close());
        blPrefsClass damaged;
        damaged.load();
        ASSERT_EQ(damaged.netTrustedCount, 1);
        EXPECT_EQ(std::string(damaged.netTrusted[0]), std::string(32, 'f'));
    }

    // A mode out of range, or an address without its end, is not taken.
    for (const std::string& item :
         {std::string("\x03\x00\x10\x27", 4) + std::string(64, 'a').replace(0, 1, "b"),
          std::string("\x01\x00\x10\x27", 4) + std::string(64, 'a')}) {
        KelResFile file;
        ASSERT_TRUE(file.SetWorkName(kBLPrefsFileName));
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.SaveData(item.data(), static_cast<long>(item.size()), kelFourCC("netl"), 0));
        ASSERT_TRUE(file.Close());
        blPrefsClass damaged;
        damaged.load();
        EXPECT_EQ(damaged.netMode, 0);
        EXPECT_EQ(damaged.netPort, kBLNetDefaultPort);
        EXPECT_EQ(damaged.interfaceColor, 3);
    }
}

}  // namespace
