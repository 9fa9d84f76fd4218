// The description writer: everything it writes reads back exactly; what it
// cannot hold it refuses, keeping the old file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLBlsParser.h"
#include "library/BLBlsWriter.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

std::string kel(const std::string& system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system.c_str(), out));
    return out;
}

std::vector<std::string> readBack(const std::string& path)
{
    std::vector<std::string> lines;
    BLBlsParser p;
    if (!p.open(kel(path).c_str())) return {"(cannot open)"};
    while (p.next()) lines.emplace_back(p.currentLine());
    if (p.lastRecord() != BLCryptRecord::end) lines.emplace_back("(ended early)");
    return lines;
}

class BlsWriter : public ::testing::Test {
protected:
    TempDir dir{"blswrite"};
    std::string path = dir.file("song.bls");
    bool write(const std::vector<std::string>& lines, std::string* error = nullptr)
    {
        return BLBlsWriter_Write(kel(path).c_str(), lines, error);
    }
};

TEST_F(BlsWriter, RandomLinesComeBackExactly)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> lines(1 + rng() % 30);
        for (std::string& line : lines) {
            // Lengths bunch at the edges of the format as well as short lines.
            static const int edges[] = {0, 1, 2, 2046, 2047};
            const size_t length = rng() % 4 == 0 ? edges[rng() % 5] : rng() % 120;
            for (size_t i = 0; i < length; ++i) line += static_cast<char>(1 + rng() % 255);
            if (line.size() == BLBLS_MAX_LINE && line[0] == '\n') line[0] = 'x';
        }
        ASSERT_TRUE(write(lines)) << round;
        ASSERT_EQ(readBack(path), lines) << round;
    }
}

TEST_F(BlsWriter, EmptyLinesAndLeadingLineFeedsSurvive)
{
    const std::vector<std::string> lines = {"", "\n",  "\nKEY: x", "\n\n",
                                            "", "end", "",         "\n" + std::string(2045, 'a')};
    ASSERT_TRUE(write(lines));
    EXPECT_EQ(readBack(path), lines);
}

TEST_F(BlsWriter, LinesTheFormatCannotHoldAreRefusedAndTheOldFileKept)
{
    ASSERT_TRUE(write({"old"}));
    const std::string before = testsupport::readFile(path);

    EXPECT_EQ(BLBlsWriter_CheckLine(std::string(2047, 'a')), BLBlsLineProblem::none);
    EXPECT_EQ(BLBlsWriter_CheckLine(std::string(2048, 'a')), BLBlsLineProblem::tooLong);
    EXPECT_EQ(BLBlsWriter_CheckLine("\n" + std::string(2046, 'a')), BLBlsLineProblem::tooLong);
    EXPECT_EQ(BLBlsWriter_CheckLine(std::string("a\0b", 3)), BLBlsLineProblem::hasNul);

    std::string error;
    EXPECT_FALSE(write({"fine", std::string(3000, 'x'), "fine"}, &error));
    EXPECT_EQ(error, "line 2: the line is 3000 bytes long; a description line holds at most 2047 bytes");
    EXPECT_FALSE(write({std::string("a\0b", 3)}, &error));
    EXPECT_EQ(error, "line 1: the line holds a NUL byte, which ends a description line");
    EXPECT_EQ(testsupport::readFile(path), before);

    // Nothing can be written where the folder is missing or closed.
    EXPECT_FALSE(BLBlsWriter_Write(kel(dir.file("missing/x.bls")).c_str(), {"a"}, &error));
    EXPECT_EQ(error, "cannot create the file");
    if (geteuid() != 0) {
        ::chmod(dir.path().c_str(), 0555);
        EXPECT_FALSE(write({"new"}));
        ::chmod(dir.path().c_str(), 0755);
        EXPECT_EQ(testsupport::readFile(path), before);
    }
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "song.bls");  // no temporary file left
}

TEST_F(BlsWriter, TheSameLinesGiveTheSameBytes)
{
    const std::vector<std::string> lines = {"BLS 1.2", "SONGTITLE: Test", "SONGBPM: 120"};
    std::string a, b, c;
    ASSERT_TRUE(BLBlsWriter_Encode(lines, &a));
    ASSERT_TRUE(BLBlsWriter_Encode(lines, &b));
    ASSERT_TRUE(BLBlsWriter_Encode(lines, &c, nullptr, 7));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);  // another seed scrambles differently ...
    ASSERT_TRUE(testsupport::writeFile(path, c));
    EXPECT_EQ(readBack(path), lines);  // ... and reads the same
    EXPECT_EQ(a.size(), 3 * 8 + 7 + 15 + 12u);
    EXPECT_EQ(a.find("SONG"), std::string::npos);  // scrambled, not plain

    ASSERT_TRUE(write({}));
    EXPECT_EQ(testsupport::readFile(path), "");
    EXPECT_TRUE(readBack(path).empty());
}

}  // namespace
