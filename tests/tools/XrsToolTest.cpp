#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class XrsToolTest : public ::testing::Test {
protected:
    TempDir dir{"xrstool"};
    std::string xrs = dir.file("skin.xrs");

    RunResult xrstool(std::vector<std::string> args)
    {
        args.insert(args.begin(), testsupport::toolsDir() + "/xrstool");
        return testsupport::run(args, dir.path());
    }
    std::string source(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
};

TEST_F(XrsToolTest, PutCreatesTheFileAndListShowsTheTableInOrder)
{
    ASSERT_EQ(xrstool({"put", xrs, "LAYA", "3", source("layout.bin", std::string("\0\1\2", 3))}).exitCode, 0);
    ASSERT_EQ(xrstool({"puttext", xrs, "100", source("m.txt", "zero\none\n")}).exitCode, 0);
    ASSERT_EQ(xrstool({"put", xrs, "0x00000001", "-4", source("odd.bin", "x")}).exitCode, 0);
    EXPECT_EQ(readFile(xrs).size(), 16008u + 3 + 9 + 1);

    const RunResult list = xrstool({"list", xrs});
    ASSERT_EQ(list.exitCode, 0) << list.out;
    EXPECT_EQ(list.out,
              "LAYA           3           3       16008\n"
              "TEXT         100           9       16011\n"
              "\\x00\\x00\\x00\\x01          -4           1       16020\n");
}

TEST_F(XrsToolTest, TextFilesRoundTripThroughTheTableForm)
{
    const std::string text = "Beatloom\nQuestion\nLa séquence est vide…\n\n52\n";
    ASSERT_EQ(xrstool({"puttext", xrs, "101", source("fr.txt", text)}).exitCode, 0);
    const RunResult shown = xrstool({"text", xrs, "101"});
    ASSERT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, text);

    // Stored with carriage returns and 8-bit characters.
    ASSERT_EQ(xrstool({"extract", xrs, "TEXT", "101", dir.file("raw.bin")}).exitCode, 0);
    EXPECT_EQ(readFile(dir.file("raw.bin")), "Beatloom\rQuestion\rLa s\xe9quence est vide\xc9\r\r52\r");
}

TEST_F(XrsToolTest, PutReplacesAnItemAndExtractGivesItBack)
{
    std::string payload;
    for (int i = 0; i < 300; ++i) payload += static_cast<char>(i);
    ASSERT_EQ(xrstool({"put", xrs, "MPIX", "7", source("a.bin", "short")}).exitCode, 0);
    ASSERT_EQ(xrstool({"put", xrs, "MPIX", "7", source("b.bin", payload)}).exitCode, 0);
    const RunResult list = xrstool({"list", xrs});
    EXPECT_EQ(list.out, "MPIX           7         300       16013\n");
    ASSERT_EQ(xrstool({"extract", xrs, "MPIX", "7", dir.file("out.bin")}).exitCode, 0);
    EXPECT_EQ(readFile(dir.file("out.bin")), payload);
    EXPECT_EQ(readFile(xrs).size(), 16008u + 5 + 300);
}

TEST_F(XrsToolTest, TheSkinSourcesSurviveTheRoundTrip)
{
    for (const char* name : {"languages.txt", "messages-en.txt", "messages-fr.txt"}) {
        SCOPED_TRACE(name);
        const std::string path = testsupport::sourceDir() + "/skin/text/" + name;
        ASSERT_EQ(xrstool({"puttext", xrs, "100", path}).exitCode, 0);
        const RunResult shown = xrstool({"text", xrs, "100"});
        ASSERT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.out, readFile(path));
    }
}

TEST_F(XrsToolTest, BadArgumentsAreUsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"list"},
        {"text", xrs},
        {"text", xrs, "12x"},
        {"text", xrs, "99999999999"},
        {"extract", xrs, "TEX", "1", "out"},
        {"put", xrs, "0x5445585Z", "1", "in"},
        {"put", xrs, "0x123", "1", "in"},
        {"put", xrs, "TEXT", "1"},
        {"puttext", xrs, "one", "in.txt"},
    };
    for (const auto& args : bad) {
        const RunResult r = xrstool(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "" : args[0]) << ": " << r.out;
        EXPECT_NE(r.out.find("usage: xrstool"), std::string::npos) << r.out;
    }
    EXPECT_EQ(xrstool({"--help"}).exitCode, 0);
}

TEST_F(XrsToolTest, MissingFilesItemsAndBadTextSayWhatIsWrong)
{
    RunResult r = xrstool({"list", dir.file("none.xrs")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no such file"), std::string::npos) << r.out;

    ASSERT_EQ(xrstool({"puttext", xrs, "1", source("l.txt", "English,en,9,0\n")}).exitCode, 0);
    r = xrstool({"text", xrs, "2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no item 'TEXT' 2"), std::string::npos) << r.out;
    r = xrstool({"extract", xrs, "LAYA", "1", dir.file("o.bin")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no item 'LAYA' 1"), std::string::npos) << r.out;

    r = xrstool({"put", xrs, "TEXT", "5", dir.file("absent.bin")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("absent.bin"), std::string::npos) << r.out;

    const std::string before = readFile(xrs);
    r = xrstool({"puttext", xrs, "100", source("bad.txt", "fine\nnot \xff utf-8\n")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << r.out;
    r = xrstool({"puttext", xrs, "100", source("euro.txt", "5 \xe2\x82\xac\n")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("U+20AC"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(xrs), before);
}

TEST_F(XrsToolTest, DamagedFilesAreReportedAndNeverOverwritten)
{
    ASSERT_EQ(xrstool({"put", xrs, "TEXT", "1", source("p.bin", "payload")}).exitCode, 0);
    const std::string good = readFile(xrs);

    std::string overCapacity = good;
    overCapacity[4] = 0x03;
    overCapacity[5] = static_cast<char>(0xE9);  // count 1001 of 1000
    std::string pastTheEnd = good;
    pastTheEnd[8 + 11] = 0x70;  // length 112 with 7 bytes behind the table
    std::string negative = good;
    negative[8 + 8] = static_cast<char>(0xFF);
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"truncated", good.substr(0, 5)},       {"table cut short", good.substr(0, 20)},
        {"count above capacity", overCapacity}, {"length past the end", pastTheEnd},
        {"negative length", negative},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(writeFile(xrs, bytes));
        for (const std::vector<std::string>& args : {std::vector<std::string>{"list", xrs},
                                                     {"text", xrs, "1"},
                                                     {"extract", xrs, "TEXT", "1", dir.file("o")},
                                                     {"put", xrs, "TEXT", "2", dir.file("p.bin")}}) {
            const RunResult r = xrstool(args);
            EXPECT_EQ(r.exitCode, 1) << args[0];
            EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
        }
        EXPECT_EQ(readFile(xrs), bytes);
    }
}

TEST_F(XrsToolTest, AFullTableIsReported)
{
    std::string header("\0\1\0\1\0\1\0\0", 8);  // capacity 1, count 1
    std::string entry("\0\0\0\1TEXT\0\0\0\0\0\0\0\x18", 16);
    ASSERT_TRUE(writeFile(xrs, header + entry));
    const RunResult r = xrstool({"put", xrs, "TEXT", "2", source("p.bin", "x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("full"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(xrs), header + entry);
    EXPECT_EQ(xrstool({"put", xrs, "TEXT", "1", dir.file("p.bin")}).exitCode, 0);
}

}  // namespace
