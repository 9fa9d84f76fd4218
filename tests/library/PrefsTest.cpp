// The preferences file: defaults, the items read back, files of other builds
// and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "audio/LaunchGrid.h"
#include "core/kelBytes.h"
#include "core/kelRes.h"
#include "library/BLprefs.h"
#include "library/SongTestFiles.h"

using namespace songtest;

namespace {

class Prefs : public ProgramFolder {
protected:
    // Writes a preferences file holding only the given items.
    void writeItems(const std::vector<std::tuple<const char*, long, std::string>>& items)
    {
        fs::remove(dir.file(kBLPrefsFileName));
        KelResFile file;
        ASSERT_TRUE(file.SetWorkName(kBLPrefsFileName));
        ASSERT_TRUE(file.Create());
        for (const auto& [type, id, data] : items)
            ASSERT_TRUE(file.SaveData(data.data(), static_cast<long>(data.size()),
                                      kelFourCC({type[0], type[1], type[2], type[3], '\0'}), id));
        ASSERT_TRUE(file.Close());
    }
    static std::string le16(int v)
    {
        uint8_t b[2];
        kelPutLE16(b, static_cast<uint16_t>(v));
        return std::string(reinterpret_cast<char*>(b), 2);
    }
    static std::string le32(uint32_t v)
    {
        uint8_t b[4];
        kelPutLE32(b, v);
        return std::string(reinterpret_cast<char*>(b), 4);
    }
};

TEST_F(Prefs, WithoutAFileTheDefaults)
{
    blPrefsClass prefs;
    prefs.load();
    EXPECT_EQ(prefs.exportFormat, kelFourCC("BTLM"));
    EXPECT_EQ(prefs.randomLevels[0], 4);
    EXPECT_EQ(prefs.randomLevels[1], 5);
    EXPECT_EQ(prefs.randomLevels[2], 6);
    EXPECT_EQ(prefs.randomLevels[3], 7);
    EXPECT_EQ(prefs.mixTarget, 0);
    EXPECT_EQ(prefs.interfaceColor, 0);
    EXPECT_EQ(prefs.tooltips, 1);
    EXPECT_EQ(prefs.keyLock, 0);
    EXPECT_EQ(prefs.launchGrid, static_cast<int16_t>(LaunchGrid::cycle));
    EXPECT_STREQ(prefs.outputCard, "");
    EXPECT_EQ(prefs.outputFrames, 512);
    EXPECT_EQ(prefs.jackTransport, 0);
    EXPECT_TRUE(prefs.mainWindow.isEmpty());
    EXPECT_EQ(prefs.stageSize, -1);  // not chosen: the window's own
    EXPECT_EQ(prefs.exportSettings.data, nullptr);
    EXPECT_EQ(prefs.exportSettings.length, 0);
}

TEST_F(Prefs, SavedAndLoadedAgain)
{
    {
        blPrefsClass prefs;
        prefs.mainWindow = kelRect(10, 20, 650, 500);
        prefs.exportFormat = kelFourCC("FLAC");
        ASSERT_TRUE(kelQt_soundConvert_settingsDataAllocate(&prefs.exportSettings, 16));
        for (int i = 0; i < 16; ++i) prefs.exportSettings.data[i] = static_cast<uint8_t>(i * 7);
        prefs.randomLevels[2] = 3;
        prefs.mixTarget = 1;
        prefs.interfaceColor = 5;
        prefs.tooltips = 0;
        prefs.keyLock = 1;
        prefs.launchGrid = static_cast<int16_t>(LaunchGrid::twoBars);
        std::snprintf(prefs.outputCard, sizeof prefs.outputCard, "USB Audio Device Analog Stereo");
        prefs.outputFrames = 128;
        prefs.midiBindings.bind({BLMidiKind::cc, 3, 7, BLMidiAction::volume, 2});
        prefs.midiBindings.bind({BLMidiKind::note, 1, 36, BLMidiAction::play, 0});
        prefs.midiClockOut = 1;
        prefs.midiClockIn = kBLMidiNamedPort;
        std::snprintf(prefs.midiClockInPort, sizeof prefs.midiClockInPort, "Drum machine:MIDI 1 24:0");
        prefs.midiControl = kBLMidiOwnPort;
        prefs.jackTransport = 1;
        prefs.stageSize = 150;
        ASSERT_TRUE(prefs.save());
    }
    blPrefsClass back;
    back.load();
    EXPECT_EQ(back.mainWindow, kelRect(10, 20, 650, 500));
    EXPECT_EQ(back.exportFormat, kelFourCC("FLAC"));
    ASSERT_EQ(back.exportSettings.length, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back.exportSettings.data[i], i * 7);
    EXPECT_EQ(back.randomLevels[2], 3);
    EXPECT_EQ(back.randomLevels[3], 7);
    EXPECT_EQ(back.mixTarget, 1);
    EXPECT_EQ(back.interfaceColor, 5);
    EXPECT_EQ(back.tooltips, 0);
    EXPECT_EQ(back.keyLock, 1);
    EXPECT_EQ(back.launchGrid, static_cast<int16_t>(LaunchGrid::twoBars));
    EXPECT_STREQ(back.outputCard, "USB Audio Device Analog Stereo");
    EXPECT_EQ(back.stageSize, 150);
    EXPECT_EQ(back.outputFrames, 128);
    ASSERT_EQ(back.midiBindings.list().size(), 2u);
    EXPECT_EQ(back.midiBindings.find(BLMidiKind::cc, 3, 7)->target, 2);
    EXPECT_EQ(back.midiClockOut, 1);
    std::string port;
    EXPECT_TRUE(back.midiClockFrom(port));
    EXPECT_EQ(port, "Drum machine:MIDI 1 24:0");
    EXPECT_TRUE(back.midiControlFrom(port));
    EXPECT_EQ(port, "");
    EXPECT_EQ(back.jackTransport, 1);

    // Saved again over the file, without a settings block and back on the
    // default card: neither comes back.
    kelQt_soundConvert_settingsDataDispose(&back.exportSettings);
    back.outputCard[0] = '\0';
    ASSERT_TRUE(back.save());
    blPrefsClass third;
    third.load();
    EXPECT_EQ(third.exportSettings.data, nullptr);
    EXPECT_EQ(third.interfaceColor, 5);
    EXPECT_STREQ(third.outputCard, "");
    EXPECT_EQ(third.outputFrames, 128);
}

TEST_F(Prefs, ALengthWithoutDataLeavesNoSettings)
{
    writeItems({{"olen", 0, le32(16)}, {"otyp", 0, le32(kelFourCC("OPUS"))}});
    blPrefsClass prefs;
    prefs.load();
    EXPECT_EQ(prefs.exportSettings.data, nullptr);
    EXPECT_EQ(prefs.exportSettings.length, 0);
    EXPECT_EQ(prefs.exportFormat, kelFourCC("OPUS"));

    // Data of another length, or a length the service refuses, neither.
    writeItems({{"olen", 0, le32(16)}, {"odat", 0, std::string(8, 'x')}});
    prefs.load();
    EXPECT_EQ(prefs.exportSettings.data, nullptr);
    writeItems({{"olen", 0, le32(0x7FFFFFFF)}, {"odat", 0, std::string(8, 'x')}});
    prefs.load();
    EXPECT_EQ(prefs.exportSettings.data, nullptr);
}

TEST_F(Prefs, AnOlderFileWithoutColourOrTooltipsKeepsTheirDefaults)
{
    writeItems({{"mwin", 0, le16(1) + le16(2) + le16(3) + le16(4)},
                {"usrr", 0, le16(6)},
                {"usrr", 3, le16(3)},
                {"mtrm", 0, le16(1)}});
    blPrefsClass prefs;
    prefs.load();
    EXPECT_EQ(prefs.interfaceColor, 0);
    EXPECT_EQ(prefs.tooltips, 1);
    EXPECT_EQ(prefs.keyLock, 0);
    EXPECT_EQ(prefs.mainWindow, kelRect(1, 2, 3, 4));
    EXPECT_EQ(prefs.randomLevels[0], 6);
    EXPECT_EQ(prefs.randomLevels[1], 5);
    EXPECT_EQ(prefs.randomLevels[3], 3);
    EXPECT_EQ(prefs.mixTarget, 1);
}

TEST_F(Prefs, ValuesOutOfRangeOrOfTheWrongSizeAreNotTaken)
{
    writeItems({{"usrr", 1, le16(9)},
                {"intc", 0, le16(8)},
                {"mtrm", 0, le16(-1)},
                {"otyp", 0, "AB"},
                {"htip", 0, le16(2)},
                {"klck", 0, le16(2)},
                {"lgrd", 0, le16(6)},
                {"oprd", 0, le16(500)},
                {"ocrd", 0, std::string("Card\nName")},
                {"mcko", 0, le16(2)},
                {"mcki", 0, le16(3)},
                {"mctl", 0, le16(-1)},
                {"mckn", 0, std::string("Port\tName")},
                {"jtrn", 0, le16(2)},
                {"stsz", 0, le16(120)}});
    blPrefsClass prefs;
    prefs.load();
    EXPECT_EQ(prefs.tooltips, 1);
    EXPECT_EQ(prefs.randomLevels[1], 5);
    EXPECT_EQ(prefs.interfaceColor, 0);
    EXPECT_EQ(prefs.mixTarget, 0);
    EXPECT_EQ(prefs.exportFormat, kelFourCC("BTLM"));
    EXPECT_EQ(prefs.keyLock, 0);
    EXPECT_EQ(prefs.launchGrid, 0);
    EXPECT_EQ(prefs.outputFrames, 512);
    EXPECT_STREQ(prefs.outputCard, "");
    EXPECT_EQ(prefs.midiClockOut, 0);
    EXPECT_EQ(prefs.midiClockIn, kBLMidiOff);
    EXPECT_EQ(prefs.midiControl, kBLMidiOwnPort);
    EXPECT_STREQ(prefs.midiClockInPort, "");
    EXPECT_EQ(prefs.jackTransport, 0);
    EXPECT_EQ(prefs.stageSize, -1);
}

TEST_F(Prefs, ItemsOfOtherBuildsSurviveASaveWhateverTheirPlace)
{
    writeItems({{"intc", 0, le16(2)}, {"zzzz", 9, "future"}});
    blPrefsClass prefs;
    prefs.load();
    EXPECT_EQ(prefs.interfaceColor, 2);
    ASSERT_TRUE(prefs.save());
    KelResFile file;
    ASSERT_TRUE(file.SetWorkName(kBLPrefsFileName));
    file.openReadOnly = 1;
    ASSERT_TRUE(file.Open());
    char kept[6];
    EXPECT_TRUE(file.LoadData(kept, 6, kelFourCC("zzzz"), 9));
    EXPECT_EQ(std::string(kept, 6), "future");
    file.Close();

    // Entries that overlap (here 'zzzz' over 'intc'): the file is rebuilt, so
    // writing one never writes into the other.
    writeItems({{"intc", 0, le16(2)}, {"zzzz", 9, "future"}});
    std::string bytes = testsupport::readFile(dir.file("Beatloom.prf"));
    std::memcpy(bytes.data() + 8 + 16 + 12, bytes.data() + 8 + 12, 4);  // zzzz's offset := intc's
    testsupport::writeFile(dir.file("Beatloom.prf"), bytes);
    auto zzzz = [] {
        KelResFile f;
        f.openReadOnly = 1;
        char data[6] = {};
        EXPECT_TRUE(f.SetWorkName(kBLPrefsFileName) && f.Open());
        EXPECT_TRUE(f.LoadData(data, 6, kelFourCC("zzzz"), 9));
        return std::string(data, 6);
    };
    const std::string overlapped = zzzz();
    prefs.interfaceColor = 7;
    ASSERT_TRUE(prefs.save());
    EXPECT_EQ(zzzz(), overlapped);
}

TEST_F(Prefs, ADamagedFileIsSetAsideAndWrittenAfresh)
{
    // What a power loss leaves: zeros, or nothing at all; or another file.
    for (const std::string& damage :
         {std::string(16008, '\0'), std::string(), std::string("not a resource file")}) {
        testsupport::writeFile(dir.file("Beatloom.prf"), damage);
        blPrefsClass prefs;
        prefs.load();
        EXPECT_EQ(prefs.interfaceColor, 0);
        prefs.interfaceColor = 7;
        ASSERT_TRUE(prefs.save());
        EXPECT_EQ(testsupport::readFile(dir.file("Beatloom.prf.damaged")), damage);
        blPrefsClass after;
        after.load();
        EXPECT_EQ(after.interfaceColor, 7);
    }
}

TEST_F(Prefs, SavesKeepWhatTheUserHad)
{
    blPrefsClass prefs;
    prefs.interfaceColor = 3;
    touch(dir.file("Beatloom.prf.part"), "mine");
    ASSERT_TRUE(prefs.save());
    EXPECT_EQ(testsupport::readFile(dir.file("Beatloom.prf.part")), "mine");
    // A pipe in the file's place is not written (nor waited on).
    fs::remove(dir.file("Beatloom.prf"));
    ASSERT_EQ(::mkfifo(dir.file("Beatloom.prf").c_str(), 0644), 0);
    prefs.load();
    EXPECT_FALSE(prefs.save());
    EXPECT_TRUE(fs::is_fifo(dir.file("Beatloom.prf")));
}

}  // namespace
