#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "KelTestPaths.h"
#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"
#include "support/TestSupport.h"

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr uint32_t kVers = kelFourCC("vers");
constexpr uint32_t kData = kelFourCC("data");
constexpr uint32_t kSyic = kelFourCC("syic");

std::string le32(uint32_t v)
{
    uint8_t b[4];
    kelPutLE32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string be32(uint32_t v)
{
    uint8_t b[4];
    kelPutBE32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string leAtom(uint32_t id, const std::string& data)
{
    return le32(id) + le32(static_cast<uint32_t>(data.size())) + data;
}

class AtomsFileTest : public ::testing::Test {
protected:
    TempDir dir{"atoms"};
    std::string path = dir.file("doc.bld");
    std::string kel = kelPathOf(path);

    void make(const std::string& bytes) { ASSERT_TRUE(writeFile(path, bytes)); }
};

TEST_F(AtomsFileTest, WritesLittleEndianWithTheMagicFirstAndReadsItBack)
{
    kelAtomsFile out;
    ASSERT_TRUE(out.openForWrite(kel.c_str()));
    out.write(kVers, 0x01020304);
    out.write(kData, 6, "abcdef");
    EXPECT_FALSE(out.failed());
    ASSERT_TRUE(out.close());

    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 4), "gsFA");
    EXPECT_EQ(bytes.substr(4, 4), "srev");  // 'vers' with its letters reversed on disk
    EXPECT_EQ(bytes, "gsFA" + leAtom(kVers, le32(0x01020304)) + leAtom(kData, "abcdef"));

    kelAtomsFile in;
    ASSERT_TRUE(in.openForRead(kel.c_str()));
    EXPECT_FALSE(in.swap);
    int32_t value = 0;
    EXPECT_TRUE(in.read(kVers, &value));
    EXPECT_EQ(value, 0x01020304);
    char data[6];
    EXPECT_TRUE(in.read(kData, 6, data));
    EXPECT_EQ(std::string(data, 6), "abcdef");
    EXPECT_FALSE(in.read(kData, 6, data));
    EXPECT_FALSE(in.read(kData, 6, data));  // and stays at the end
    in.close();
}

TEST_F(AtomsFileTest, AFileOfTheOtherByteOrderIsReadWithSwappedHeadersAndValues)
{
    make(std::string("AFsg") + be32(kVers) + be32(4) + be32(0x11223344) + be32(kData) + be32(3) + "xyz");
    EXPECT_EQ(readFile(path).substr(0, 4), std::string("\x41\x46\x73\x67", 4));
    kelAtomsFile in;
    ASSERT_TRUE(in.openForRead(kel.c_str()));
    EXPECT_TRUE(in.swap);
    int32_t value = 0;
    EXPECT_TRUE(in.read(kVers, &value));
    EXPECT_EQ(value, 0x11223344);
    char data[3];
    EXPECT_TRUE(in.read(kData, 3, data));
    EXPECT_EQ(std::string(data, 3), "xyz");  // byte blocks are not converted
    in.close();
}

TEST_F(AtomsFileTest, OnlyTheMagicInEitherOrderOpens)
{
    for (const std::string& bytes :
         {std::string(""), std::string("gsF"), std::string("gsFB") + leAtom(kVers, "1234"),
          std::string("RIFF....WAVE")}) {
        make(bytes);
        kelAtomsFile in;
        EXPECT_FALSE(in.openForRead(kel.c_str())) << bytes;
        EXPECT_FALSE(in.isOpen());
    }
    kelAtomsFile in;
    EXPECT_FALSE(in.openForRead(kelPathOf(dir.file("missing.bld")).c_str()));
    make("gsFA");
    ASSERT_TRUE(in.openForRead(kel.c_str()));
    int32_t v;
    EXPECT_FALSE(in.read(kVers, &v));
    in.close();
}

TEST_F(AtomsFileTest, AnUnexpectedAtomIsSkippedAndTheNextReadSeesTheOneAfter)
{
    make("gsFA" + leAtom(kSyic, std::string(100, 's')) + leAtom(kVers, le32(7)) + leAtom(kData, "dd"));
    kelAtomsFile in;
    ASSERT_TRUE(in.openForRead(kel.c_str()));
    int32_t value = 0;
    EXPECT_FALSE(in.read(kVers, &value));  // finds 'syic', skips it
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(in.read(kVers, &value));
    EXPECT_EQ(value, 7);
    char d[2];
    EXPECT_TRUE(in.read(kData, 2, d));
    in.close();
}

TEST_F(AtomsFileTest, LongerAtomsAreCutAndShorterOnesZeroFilled)
{
    make("gsFA" + leAtom(kData, "ABCDEF") + leAtom(kVers, le32(9)) + leAtom(kData, "ABCDEF") +
         leAtom(kData, "ABCDEF") + leAtom(kData, ""));
    kelAtomsFile in;
    ASSERT_TRUE(in.openForRead(kel.c_str()));
    char four[4];
    EXPECT_TRUE(in.read(kData, 4, four));
    EXPECT_EQ(std::string(four, 4), "ABCD");
    int32_t value = 0;
    EXPECT_TRUE(in.read(kVers, &value));  // the rest of the longer atom was skipped
    EXPECT_EQ(value, 9);

    char ten[10];
    std::memset(ten, '#', sizeof ten);
    EXPECT_TRUE(in.read(kData, 10, ten));
    EXPECT_EQ(std::string(ten, 10), std::string("ABCDEF\0\0\0\0", 10));

    in.zeroFill = false;
    std::memset(ten, '#', sizeof ten);
    EXPECT_TRUE(in.read(kData, 10, ten));
    EXPECT_EQ(std::string(ten, 10), "ABCDEF####");

    in.zeroFill = true;
    std::memset(ten, '#', sizeof ten);
    EXPECT_TRUE(in.read(kData, 10, ten));  // an empty atom gives zeros
    EXPECT_EQ(std::string(ten, 10), std::string(10, '\0'));
    in.close();
}

TEST_F(AtomsFileTest, DamagedAtomsEndTheFileWithoutReadingPastIt)
{
    const std::pair<const char*, std::string> damaged[] = {
        {"length past the end", "gsFA" + le32(kData) + le32(50) + "short"},
        {"negative length", "gsFA" + le32(kData) + le32(0xFFFFFFF0u) + "abcd" + leAtom(kData, "ok")},
        {"header cut short", "gsFA" + le32(kData) + "\x01"},
        {"skipped atom past the end", "gsFA" + le32(kSyic) + le32(0x7FFFFFFF) + leAtom(kData, "ok")},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        make(bytes);
        kelAtomsFile in;
        ASSERT_TRUE(in.openForRead(kel.c_str()));
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(in.read(kData, 8, buffer));
        EXPECT_FALSE(in.read(kData, 8, buffer));
        EXPECT_FALSE(in.read(kData, 2, buffer));
        in.close();
    }
}

TEST_F(AtomsFileTest, WritingWithoutAnOpenFileIsReportedAsFailed)
{
    kelAtomsFile out;
    out.write(kVers, 1);
    EXPECT_TRUE(out.failed());
    ASSERT_TRUE(out.openForWrite(kel.c_str()));
    EXPECT_FALSE(out.failed());
    out.write(kData, -1, "x");
    EXPECT_TRUE(out.failed());
    out.close();
    EXPECT_FALSE(out.openForWrite(kelPathOf(dir.file("no-such-folder/x.bld")).c_str()));
}

}  // namespace
