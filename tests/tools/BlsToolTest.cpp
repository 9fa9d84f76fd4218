// blstool run as a program on files the tests make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/BLCrypt.h"
#include "support/TestSupport.h"

using testsupport::TempDir;
using namespace std::string_literals;

namespace {

std::string blstool()
{
    return testsupport::toolsDir() + "/blstool";
}

testsupport::RunResult tool(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {blstool()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run(argv);
}

class BlsTool : public ::testing::Test {
protected:
    TempDir dir{"blstool"};
    std::string plain = dir.file("plain.txt");
    std::string bls = dir.file("song.bls");
};

TEST_F(BlsTool, EncodeThenDecodeGivesTheLinesBack)
{
    const std::string text =
        "BLS 1.2 beatloom\n"
        "SONGTITLE: Night Drive ; comment\n"
        "\n"
        "  two  spaces\ttab\r\n"
        "LONGCOMMAND: SONGTRACKS: 2\n"
        "last line without end";
    ASSERT_TRUE(testsupport::writeFile(plain, text));
    auto r = tool({"encode", plain, bls});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(testsupport::readFile(bls).find("SONGTITLE"), std::string::npos);

    r = tool({"decode", bls});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, text + "\n");

    // Relative names work from the current folder.
    r = testsupport::run({blstool(), "decode", "song.bls"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, text + "\n");
}

TEST_F(BlsTool, LinesTheFormatCannotHoldAreNamedAndNothingIsWritten)
{
    ASSERT_TRUE(testsupport::writeFile(bls, "old"));
    ASSERT_TRUE(testsupport::writeFile(plain, "ok\n" + std::string(2048, 'x') + "\nok\nnul\0here\n"s));
    const auto r = tool({"encode", plain, bls});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(
        r.out.find(plain + ":2: the line is 2048 bytes long; a description line holds at most 2047 bytes"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(plain + ":4: the line holds a NUL byte"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nothing written"), std::string::npos);
    EXPECT_EQ(testsupport::readFile(bls), "old");
}

TEST_F(BlsTool, DamagedDescriptionsAreReportedAfterTheirGoodLines)
{
    ASSERT_TRUE(testsupport::writeFile(plain, "first\nsecond\nthird\n"));
    ASSERT_EQ(tool({"encode", plain, bls}).exitCode, 0);
    const std::string whole = testsupport::readFile(bls);
    ASSERT_TRUE(testsupport::writeFile(bls, whole.substr(0, whole.size() - 2)));
    const auto r = tool({"decode", bls});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("first\nsecond\n"), std::string::npos);
    EXPECT_EQ(r.out.find("third"), std::string::npos);
    EXPECT_NE(r.out.find(bls + ": record 3 is damaged or cut short"), std::string::npos) << r.out;
}

TEST_F(BlsTool, RecordsOutsideTheFormatAreShownAsTheProgramReadsThem)
{
    auto encoded = [](const std::string& line) {
        std::vector<uint8_t> bytes(8 + line.size());
        BLCrypt_EncodeRecord(line.data(), static_cast<int32_t>(line.size()), 99, bytes.data());
        return std::string(bytes.begin(), bytes.end());
    };
    ASSERT_TRUE(testsupport::writeFile(
        bls, encoded("a\nb") + encoded(std::string(3000, 'L')) + encoded("") + encoded("unread")));
    const auto r = tool({"decode", bls});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("ab\n" + std::string(2047, 'L') + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("record 2 is 3000 bytes long; only its first 2047 are read"), std::string::npos);
    EXPECT_NE(r.out.find("record 3 has length 0, which ends the description there"), std::string::npos);
    EXPECT_EQ(r.out.find("unread"), std::string::npos);
}

TEST_F(BlsTool, WrongUseAndMissingFilesFail)
{
    auto r = tool({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("usage: blstool encode"), std::string::npos);
    EXPECT_EQ(tool({"encode", plain}).exitCode, 2);
    EXPECT_EQ(tool({"unpack", bls}).exitCode, 2);
    r = tool({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("decode IN.bls"), std::string::npos);

    r = tool({"decode", dir.file("none.bls")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot open '" + dir.file("none.bls") + "'"), std::string::npos) << r.out;
    r = tool({"encode", dir.file("none.txt"), bls});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot read"), std::string::npos);
    ASSERT_TRUE(testsupport::writeFile(plain, "a\n"));
    r = tool({"encode", plain, dir.file("missing/out.bls")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot create the file"), std::string::npos) << r.out;
}

}  // namespace
