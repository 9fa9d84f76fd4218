// The song library read from descriptions written with the project's writer:
// both versions, the four places a description is looked for, the filing of
// samples into groups and the look-ups.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library/BLBlsParser.h"
#include "library/BLSongLibrary.h"
#include "library/SongTestFiles.h"

using namespace songtest;

namespace {

class SongLibrary : public ProgramFolder {
protected:
    std::unique_ptr<BLSongLibrary> lib = std::make_unique<BLSongLibrary>();
};

TEST_F(SongLibrary, EveryBlockOfAVersion12Description)
{
    writeDescription(songFolder("Night") + "/night.bls", fullDescription());
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::songFolder);
    EXPECT_EQ(lib->reading, BLSongLibrary::Reading::complete);
    EXPECT_STREQ(lib->parserVersion, "Parser: BLS 1.2");
    EXPECT_STREQ(lib->folderName, "Night");
    EXPECT_STREQ(lib->libraryName, "Demo Library");
    EXPECT_STREQ(lib->title, "Night Drive");
    EXPECT_STREQ(lib->description, "A slow song for late hours");
    EXPECT_EQ(lib->bpm, 105);
    EXPECT_EQ(lib->songMix, 3);
    EXPECT_STREQ(lib->arpNotes, "C Ed G");
    EXPECT_EQ(lib->categoryCount, 3);

    // Groups in the order of the category list, though bass is filed first.
    ASSERT_EQ(lib->groupCount, 3);
    EXPECT_STREQ(lib->getGroupStr(0), "drums");
    EXPECT_STREQ(lib->getGroupStr(1), "bass");
    EXPECT_STREQ(lib->getGroupStr(2), "keys");
    EXPECT_EQ(lib->sampleCount, 5);
    const BLSongGroup& bass = lib->groups[1];
    ASSERT_EQ(bass.count, 2);
    EXPECT_EQ(bass.id[0], 0);
    EXPECT_STREQ(bass.file[0], "bass01");
    EXPECT_STREQ(bass.label[0], "Deep");
    EXPECT_EQ(bass.volume[0], 90);
    EXPECT_EQ(bass.pan[0], 63);
    EXPECT_EQ(bass.repeats[0], 2);
    EXPECT_EQ(bass.id[1], 4);
    EXPECT_EQ(bass.pan[1], 126);
    const BLSongGroup& drums = lib->groups[0];
    ASSERT_EQ(drums.count, 2);
    EXPECT_EQ(drums.id[1], 2);
    EXPECT_STREQ(drums.label[1], "[002]");  // no label: the id
    EXPECT_EQ(drums.repeats[1], 8);

    ASSERT_EQ(lib->randomSetCount, 2);
    EXPECT_STREQ(lib->randomSets[0].name, "Basic");  // first letter made upper case
    EXPECT_EQ(lib->randomSets[0].count, 3);
    EXPECT_EQ(lib->randomSets[0].groups[0], 0);
    EXPECT_EQ(lib->randomSets[0].groups[1], 1);
    EXPECT_EQ(lib->randomSets[0].groups[2], 2);
    EXPECT_STREQ(lib->randomSets[1].name, "Sparse");
    EXPECT_EQ(lib->randomSets[1].groups[1], -1);  // an unknown group

    ASSERT_EQ(lib->styleCount, 1);
    const BLStyle& style = lib->styles[0];
    EXPECT_STREQ(style.name, "Verse");
    EXPECT_EQ(style.columnCount, 3);
    EXPECT_EQ(style.rowCount, 2);
    EXPECT_EQ(style.columns[2], 2);
    EXPECT_EQ(style.rows[1][3], 2);
    EXPECT_EQ(style.rows[1][4], -1);
}

TEST_F(SongLibrary, LookUps)
{
    writeDescription(songFolder("Night") + "/night.bls", fullDescription());
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_STREQ(lib->getGroupStr(-1), " ---");
    EXPECT_STREQ(lib->getIndexStr(-1, 0), "");
    EXPECT_STREQ(lib->getIndexStr(0, -1), "");
    EXPECT_STREQ(lib->getIndexStr(2, 0), "Pad");
    EXPECT_STREQ(lib->getIndexStr(40, 0), "");
    int16_t group = 77, slot = 77;
    EXPECT_STREQ(lib->getGroupAndIndex(3, &group, &slot), "Pad");
    EXPECT_EQ(group, 2);
    EXPECT_EQ(slot, 0);
    group = slot = 77;
    EXPECT_EQ(lib->getGroupAndIndex(9, &group, &slot), nullptr);
    EXPECT_EQ(group, 77);
    EXPECT_EQ(slot, 77);
    EXPECT_EQ(lib->getGroupIndex("KEYS"), 2);
    EXPECT_EQ(lib->getGroupIndex("key"), -1);
    EXPECT_EQ(BLSongLibrary::strcasecmp("Drums", "dRUMS"), 0);
    EXPECT_EQ(BLSongLibrary::strcasecmp("Drums", "Drum"), 1);
    EXPECT_EQ(BLSongLibrary::strcasecmp("\xC9t\xE9", "\xC9T\xE9"), 0);  // only A-Z fold
    EXPECT_EQ(BLSongLibrary::strcasecmp("\xE9", "\xC9"), 1);
    EXPECT_EQ(lib->sampleId(1, 1), 4);
    EXPECT_EQ(lib->sampleId(1, 2), kBLNoSample);
}

TEST_F(SongLibrary, FileWordsDifferingInCaseShareAGroupNamedByTheFirst)
{
    writeDescription(songFolder("S") + "/s.bls", {
                                                     std::string(kBLSFormatKeyword) + " BLS 1.2",
                                                     "SONGLIBRARY: L",
                                                     "SONGTITLE: T",
                                                     "SONGDESCRIPTION: D",
                                                     "SONGBPM: 90",
                                                     "SONGMIX: 0",
                                                     "ARPNOTE: C",
                                                     "LONGCOMMAND: CATEGORYLIST: 0",
                                                     "ENDCOMMAND:",
                                                     "LONGCOMMAND: RANDOMSET: 0",
                                                     "ENDCOMMAND:",
                                                     "LONGCOMMAND: SONGTRACKS: 8",
                                                     "GuitarX01 100 63 1 a",
                                                     "guitarx02 100 63 1 b",
                                                     "GUITARX03 100 63 1 c",
                                                     "pad01 100 63 1",
                                                     "pad02 100 63 1",
                                                     "pad03 100 63 1",
                                                     "pad04 100 63 1",
                                                     "pad05 100 63 1",
                                                     "ENDCOMMAND:",
                                                 });
    ASSERT_TRUE(lib->load(songKel("S").c_str()));
    ASSERT_EQ(lib->groupCount, 2);
    EXPECT_STREQ(lib->groups[0].name, "GuitarX");
    EXPECT_EQ(lib->groups[0].count, 3);
    EXPECT_STREQ(lib->groups[0].file[2], "GUITARX03");
    EXPECT_EQ(lib->groups[0].id[2], 2);
    EXPECT_STREQ(lib->groups[1].label[4], "[007]");
}

TEST_F(SongLibrary, ADescriptionMissingABlockKeepsTheOthers)
{
    // No category list and no random sets: the samples and the style are
    // still read; groups come from the samples.
    writeDescription(songFolder("S") + "/s.bls", {
                                                     std::string(kBLSFormatKeyword) + " BLS 1.2",
                                                     "SONGLIBRARY: L",
                                                     "SONGTITLE: T",
                                                     "SONGDESCRIPTION: D",
                                                     "SONGBPM: 90",
                                                     "SONGMIX: 0",
                                                     "ARPNOTE: C",
                                                     "LONGCOMMAND: SONGTRACKS: 2",
                                                     "hat01 100 63 1 a",
                                                     "kick01 100 63 1 b",
                                                     "ENDCOMMAND:",
                                                     "LONGCOMMAND: SONGVMIX: 1 1 only",
                                                     "kick",
                                                     "0 0 0 0 0 0 0 0",
                                                     "ENDCOMMAND:",
                                                 });
    ASSERT_TRUE(lib->load(songKel("S").c_str()));
    EXPECT_EQ(lib->randomSetCount, 0);
    EXPECT_EQ(lib->sampleCount, 2);
    ASSERT_EQ(lib->groupCount, 2);
    ASSERT_EQ(lib->styleCount, 1);
    EXPECT_EQ(lib->styles[0].columns[0], 1);

    // Loading another song leaves nothing of this one.
    writeDescription(songFolder("Bare") + "/bare.bls",
                     {std::string(kBLSFormatKeyword) + " BLS 1.2", "SONGLIBRARY: L2", "SONGTITLE: Bare"});
    ASSERT_TRUE(lib->load(songKel("Bare").c_str()));
    EXPECT_STREQ(lib->title, "Bare");
    EXPECT_EQ(lib->groupCount, 0);
    EXPECT_EQ(lib->sampleCount, 0);
    EXPECT_EQ(lib->styleCount, 0);
    EXPECT_EQ(lib->bpm, 0);
    EXPECT_STREQ(lib->description, "");
}

TEST_F(SongLibrary, TheTempoCheckLooksAtTheLineAfterTheDescription)
{
    // Without a description line the tempo check reads line 4's second word.
    auto lines = fullDescription();
    lines.erase(lines.begin() + 3, lines.begin() + 6);
    lines.insert(lines.begin() + 3, "SONGBPM: 140");
    writeDescription(songFolder("S") + "/s.bls", lines);
    ASSERT_TRUE(lib->load(songKel("S").c_str()));
    EXPECT_EQ(lib->bpm, 0);
    EXPECT_STREQ(lib->description, "");

    lines[3] = "SONGSOMETHING: SONGBPM: 140";
    writeDescription(songFolder("S") + "/s.bls", lines);
    ASSERT_TRUE(lib->load(songKel("S").c_str()));
    EXPECT_EQ(lib->bpm, 140);
    EXPECT_EQ(lib->songMix, 3);
}

TEST_F(SongLibrary, HeaderOnlyReadsTheHeaderAlone)
{
    writeDescription(songFolder("Night") + "/night.bls", fullDescription());
    lib->headerOnly = true;
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_STREQ(lib->title, "Night Drive");
    EXPECT_STREQ(lib->description, "A slow song for late hours");
    EXPECT_EQ(lib->bpm, 105);
    EXPECT_STREQ(lib->arpNotes, "C Ed G");
    EXPECT_EQ(lib->groupCount, 0);
    EXPECT_EQ(lib->sampleCount, 0);
    EXPECT_EQ(lib->randomSetCount, 0);
    EXPECT_EQ(lib->styleCount, 0);
}

std::vector<std::string> version10()
{
    return {
        "; BLS 1.0",
        "kick01 Boom 100 63 0 4",
        "kick02 Thud 90 60 0 0",
        "snare01 Crack 80 70 0 2",
        "**0",
        "*118",
        "*C Ed",
        "*0",
        "*Old Song",
        "*An old description",
        "*0",
        "*Old Library",
    };
}

TEST_F(SongLibrary, Version10InfoFileWithInventedSetsAndStyles)
{
    writeDescription(songFolder("Old") + "/info.bls", version10());
    ASSERT_TRUE(lib->load(songKel("Old").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::infoFile);
    EXPECT_STREQ(lib->parserVersion, "Parser: BLS 1.0");
    EXPECT_EQ(lib->bpm, 118);  // 0 on the star line: the next line's number
    EXPECT_STREQ(lib->arpNotes, "C Ed");
    EXPECT_STREQ(lib->title, "Old Song");
    EXPECT_STREQ(lib->description, "An old description");
    EXPECT_EQ(lib->sampleCount, 3);
    ASSERT_EQ(lib->groupCount, 2);
    EXPECT_STREQ(lib->groups[0].label[1], "Thud");
    EXPECT_EQ(lib->groups[0].repeats[1], 1);  // below 1 becomes 1
    EXPECT_EQ(lib->groups[1].volume[0], 80);

    ASSERT_EQ(lib->randomSetCount, 4);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(std::string(lib->randomSets[r].name), "Rnd" + std::to_string(r + 1));
        EXPECT_EQ(lib->randomSets[r].count, 2);
        EXPECT_EQ(lib->randomSets[r].groups[1], 1);
        EXPECT_EQ(lib->randomSets[r].groups[2], -1);
    }
    ASSERT_EQ(lib->styleCount, 4);
    for (int s = 0; s < 4; ++s) {
        const BLStyle& style = lib->styles[s];
        EXPECT_EQ(std::string(style.name), "Style" + std::to_string(s + 1));
        EXPECT_EQ(style.columnCount, 16);
        EXPECT_EQ(style.rowCount, 32);
        for (int c = 0; c < 16; ++c) EXPECT_TRUE(style.columns[c] == 0 || style.columns[c] == 1);
        for (int r = 0; r < 32; ++r)
            for (int t = 0; t < 8; ++t) EXPECT_TRUE(style.rows[r][t] >= -1 && style.rows[r][t] < 16);
    }

    // Header-only still counts the sample lines, but files none.
    auto header = std::make_unique<BLSongLibrary>();
    header->headerOnly = true;
    ASSERT_TRUE(header->load(songKel("Old").c_str()));
    EXPECT_EQ(header->sampleCount, 3);
    EXPECT_EQ(header->groupCount, 0);
    EXPECT_STREQ(header->title, "Old Song");
    EXPECT_EQ(header->styleCount, 0);
}

TEST_F(SongLibrary, Version10WithoutSamplesHasStylesOfUnknownColumns)
{
    writeDescription(songFolder("Empty") + "/info.bls", {"; none", "*120", "*", "*0", "*Empty"});
    ASSERT_TRUE(lib->load(songKel("Empty").c_str()));
    EXPECT_EQ(lib->bpm, 120);
    EXPECT_EQ(lib->groupCount, 0);
    EXPECT_EQ(lib->styles[0].columns[0], -1);
    EXPECT_EQ(lib->randomSets[0].count, 0);
}

TEST_F(SongLibrary, WhereTheDescriptionIsFound)
{
    auto titled = [](const char* title) {
        auto lines = fullDescription();
        lines[2] = std::string("SONGTITLE: ") + title;
        return lines;
    };
    const std::string song = songFolder("Night");
    writeDescription(dir.file("BLS/BLS44/Night.bls"), titled("shared"));
    writeDescription(song + "/info.bls", titled("info"));
    writeDescription(song + "/Zz.BLS", titled("own"));
    writeDescription(dir.file("Library/Bls/Night.bls"), titled("store"));

    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::programStore);
    EXPECT_STREQ(lib->title, "store (embedded)");

    fs::remove(dir.file("Library/Bls/Night.bls"));
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::songFolder);  // capitals count, info.bls does not
    EXPECT_STREQ(lib->title, "own");
    EXPECT_EQ(lib->descriptionPath, songKel("Night") + "Zz.BLS");

    fs::remove(song + "/Zz.BLS");
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::infoFile);
    EXPECT_STREQ(lib->title, "info");
    EXPECT_STREQ(lib->parserVersion, "Parser: BLS 1.2");

    // Three folders up from the song folder: beside "Library".
    fs::remove(song + "/info.bls");
    ASSERT_TRUE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::sharedStore);
    EXPECT_STREQ(lib->title, "shared");

    // The shared store takes only 1.2.
    writeDescription(dir.file("BLS/BLS44/Night.bls"), version10());
    EXPECT_FALSE(lib->load(songKel("Night").c_str()));
    fs::remove(dir.file("BLS/BLS44/Night.bls"));
    EXPECT_FALSE(lib->load(songKel("Night").c_str()));
    EXPECT_EQ(lib->source, BLSongLibrary::Source::none);

    // A folder too near the top has no shared store.
    auto top = std::make_unique<BLSongLibrary>();
    fs::create_directory(dir.file("Lone"));
    EXPECT_FALSE(top->load(":Lone:"));
}

TEST_F(SongLibrary, FoundFilesCountWhateverTheyHold)
{
    // A 1.0 description where 1.2 is expected: the store's file opened, so
    // the song loads, though nothing could be read.
    writeDescription(dir.file("Library/Bls/Odd.bls"), version10());
    fs::create_directories(songFolder("Odd"));
    ASSERT_TRUE(lib->load(songKel("Odd").c_str()));
    EXPECT_EQ(lib->reading, BLSongLibrary::Reading::noFormatLine);
    EXPECT_STREQ(lib->title, " (embedded)");
    EXPECT_EQ(lib->groupCount, 0);
}

TEST_F(SongLibrary, ADamagedRecordEndsTheReadingAndIsReported)
{
    writeDescription(songFolder("Cut") + "/cut.bls", fullDescription());
    const std::string path = songFolder("Cut") + "/cut.bls";
    std::string bytes = testsupport::readFile(path);
    bytes.resize(bytes.size() - 10);  // the last record cut short
    testsupport::writeFile(path, bytes);
    ASSERT_TRUE(lib->load(songKel("Cut").c_str()));
    EXPECT_EQ(lib->reading, BLSongLibrary::Reading::damaged);
    EXPECT_EQ(lib->sampleCount, 5);
    EXPECT_EQ(lib->styleCount, 0);  // its block never closed
}

}  // namespace
