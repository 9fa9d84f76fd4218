// The mix script of a disk mix: the tempo line, a count line for every
// sequence entry that names a stored groove, and a line per track that
// passes the filter.
#include <gtest/gtest.h>

#include <memory>

#include "core/kelFiles.h"
#include "library/BLMixScript.h"
#include "library/BLSongLibrary.h"
#include "support/TestSupport.h"

namespace {

BLTrack track(int16_t group, int16_t slot, uint16_t volume, int16_t pan)
{
    BLTrack t;
    t.group = group;
    t.slot = slot;
    t.volume = volume;
    t.pan = pan;
    return t;
}

class MixScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        lib->add("Drums01", 0, "Kick", 100, 63, 8);
        lib->add("Drums02", 1, "Snare", 100, 63, 8);
        lib->add("Bass01", 2, "Sub", 100, 63, 4);
        lib->addGroup("Pads");  // no loop: its tracks write sample 0
        lib->addGroup("Keys");  // used by no groove
        BLGroove& busy = seq->grooves[0];
        busy.id = 1;
        busy.tracks[0] = track(0, 1, 100, -63);  // panned left live: 126 in the script
        busy.tracks[3] = track(1, 0, 127, 20);
        busy.tracks[5] = track(2, -1, 90, 0);
        busy.tracks[9] = track(0, 0, 127, 0);  // beyond the eight the engine plays
        seq->grooves[1].id = 2;                // an empty groove
        seq->count = 2;
        const uint16_t entries[] = {1, 7, 2, 1};  // 7 names no stored groove
        for (uint16_t e : entries) seq->entries[seq->length++] = e;
    }
    std::unique_ptr<BLSongLibrary> lib = std::make_unique<BLSongLibrary>();
    std::unique_ptr<BLSequence> seq = std::make_unique<BLSequence>();
};

}  // namespace

TEST_F(MixScript, LinesForEveryGrooveOfTheSequence)
{
    BLMixScript all = BLMixScript_Make(119.9f, *seq, *lib, kBLMixAllGroups);
    const std::string busy = "3\r\n2 100 126\r\n3 127 43\r\n0 90 63\r\n";
    EXPECT_EQ(all.text, "119\r\n" + busy + "0\r\n" + busy);
    EXPECT_TRUE(all.hasTrack);

    BLMixScript bass = BLMixScript_Make(120.0f, *seq, *lib, 1);
    EXPECT_EQ(bass.text, "120\r\n1\r\n3 127 43\r\n0\r\n1\r\n3 127 43\r\n");
    EXPECT_TRUE(bass.hasTrack);
    // A group no groove uses writes only count lines, and renders nothing.
    BLMixScript unused = BLMixScript_Make(120.0f, *seq, *lib, 3);
    EXPECT_EQ(unused.text, "120\r\n0\r\n0\r\n0\r\n");
    EXPECT_FALSE(unused.hasTrack);

    // Entries whose grooves are gone write nothing but the tempo line.
    seq->length = 0;
    seq->entries[seq->length++] = 9;
    EXPECT_EQ(BLMixScript_Make(98.5f, *seq, *lib, kBLMixAllGroups).text, "98\r\n");
}

TEST_F(MixScript, SavedAnewOrNotAtAll)
{
    testsupport::TempDir dir("mixscript");
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("MixScript").c_str(), kel));
    testsupport::writeFile(dir.file("MixScript"), std::string(5000, 'x'));
    const BLMixScript script = BLMixScript_Make(120.0f, *seq, *lib, kBLMixAllGroups);
    ASSERT_TRUE(BLMixScript_Save(kel, script));
    EXPECT_EQ(testsupport::readFile(dir.file("MixScript")), script.text);
    ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("none/MixScript").c_str(), kel));
    EXPECT_FALSE(BLMixScript_Save(kel, script));
}
