#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <string>

#include "KelTestPaths.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"
#include "support/TestSupport.h"

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr long kText = kelFourCC("TEXT");
constexpr long kLaya = kelFourCC("LAYA");

std::string be16(uint16_t v)
{
    uint8_t b[2];
    kelPutBE16(b, v);
    return std::string(reinterpret_cast<char*>(b), 2);
}

std::string be32(uint32_t v)
{
    uint8_t b[4];
    kelPutBE32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string entry(int32_t id, uint32_t type, int32_t length, int32_t offset)
{
    return be32(static_cast<uint32_t>(id)) + be32(type) + be32(static_cast<uint32_t>(length)) +
           be32(static_cast<uint32_t>(offset));
}

// A container written by hand: header, the used entries, zeros up to the
// end of a table of `capacity` entries, then `data`.
std::string container(int16_t capacity, const std::string& entries, int16_t count,
                      const std::string& data = "")
{
    std::string bytes =
        be16(1) + be16(static_cast<uint16_t>(capacity)) + be16(static_cast<uint16_t>(count)) + be16(0);
    bytes += entries;
    bytes.resize(8 + 16 * static_cast<size_t>(capacity > 0 ? capacity : 0), '\0');
    return bytes + data;
}

class ResFileTest : public ::testing::Test {
protected:
    TempDir dir{"resfile"};
    std::string path = dir.file("test.xrs");
    std::string kel = kelPathOf(path);

    void name(KelResFile& res) { ASSERT_TRUE(res.SetWorkName(kel.c_str())); }
    long fileSize() { return static_cast<long>(readFile(path).size()); }
    kelResElem elemOf(KelResFile& res, long type, long id)
    {
        for (int16_t i = 0; i < res.GetElemsCount(); ++i) {
            kelResElem e;
            res.GetElem(i, &e);
            if (e.type == static_cast<int32_t>(type) && e.id == id) return e;
        }
        ADD_FAILURE() << "no entry " << id;
        return {};
    }
};

TEST_F(ResFileTest, NewContainerIsExactly16008BytesAndTheFirstPayloadFollowsTheTable)
{
    EXPECT_EQ(kKelResEmptySize, 16008);
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.Close());
    const std::string empty = readFile(path);
    ASSERT_EQ(empty.size(), 16008u);
    EXPECT_EQ(empty.substr(0, 8), be16(1) + be16(1000) + be16(0) + be16(0));
    EXPECT_EQ(empty.find_first_not_of('\0', 8), std::string::npos);

    ASSERT_TRUE(res.Open());
    ASSERT_TRUE(res.SaveData("hello", 5, kText, 7));
    ASSERT_TRUE(res.Close());
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 16013u);
    EXPECT_EQ(bytes.substr(4, 2), be16(1));
    // Big-endian entry, "TEXT" with its first letter in the top byte.
    EXPECT_EQ(bytes.substr(8, 16), entry(7, 0x54455854, 5, 16008));
    EXPECT_EQ(bytes.substr(8 + 4, 4), "TEXT");
    EXPECT_EQ(bytes.substr(16008), "hello");
}

TEST_F(ResFileTest, CreateRefusesAnExistingFileAndAMissingName)
{
    KelResFile unnamed;
    EXPECT_FALSE(unnamed.Create());
    EXPECT_FALSE(unnamed.Open());

    ASSERT_TRUE(writeFile(path, "precious"));
    KelResFile res;
    name(res);
    EXPECT_FALSE(res.Create());
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_FALSE(res.CreateOrOpen());  // not a container: Open fails, Create refuses
    EXPECT_EQ(readFile(path), "precious");

    std::string tooLong(300, 'a');
    EXPECT_FALSE(res.SetWorkName(tooLong.c_str()));
}

TEST_F(ResFileTest, SavesInPlaceWhenNotLongerAndAppendsWhenLonger)
{
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.CreateOrOpen());
    ASSERT_TRUE(res.SaveData("abcd", 4, kText, 1));
    ASSERT_TRUE(res.SaveData("xy", 2, kText, 2));
    EXPECT_EQ(elemOf(res, kText, 1).offset, 16008);
    EXPECT_EQ(elemOf(res, kText, 2).offset, 16012);

    ASSERT_TRUE(res.SaveData("efgh", 4, kText, 1));
    EXPECT_EQ(res.GetElemsCount(), 2);
    EXPECT_EQ(elemOf(res, kText, 1).offset, 16008);

    ASSERT_TRUE(res.SaveData("longer!!", 8, kText, 1));
    EXPECT_EQ(res.GetElemsCount(), 2);
    EXPECT_EQ(elemOf(res, kText, 1).offset, 16014);
    EXPECT_EQ(elemOf(res, kText, 1).length, 8);

    ASSERT_TRUE(res.SaveData("zz", 2, kText, 1));
    EXPECT_EQ(elemOf(res, kText, 1).offset, 16014);
    EXPECT_EQ(elemOf(res, kText, 1).length, 2);
    ASSERT_TRUE(res.Close());
    // The shorter payload leaves dead space; the file keeps its size.
    EXPECT_EQ(fileSize(), 16022);

    // Reopened, the end is where the furthest payload ends, and close cuts there.
    ASSERT_TRUE(res.Open());
    char buffer[4] = {};
    EXPECT_TRUE(res.LoadData(buffer, 2, kText, 1));
    EXPECT_EQ(std::string(buffer, 2), "zz");
    EXPECT_TRUE(res.LoadData(buffer, 2, kText, 2));
    EXPECT_EQ(std::string(buffer, 2), "xy");
    ASSERT_TRUE(res.Close());
    EXPECT_EQ(fileSize(), 16016);
}

TEST_F(ResFileTest, CloseCutsTrailingGarbageButAReadOnlyOpenChangesNothing)
{
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("abc", 3, kText, 1));
    ASSERT_TRUE(res.Close());
    const std::string saved = readFile(path);
    ASSERT_TRUE(writeFile(path, saved + "trailing garbage"));

    res.openReadOnly = 1;
    ASSERT_TRUE(res.Open());
    EXPECT_FALSE(res.SaveData("q", 1, kText, 2));
    EXPECT_FALSE(res.IsDataAvailable(kText, 2));
    ASSERT_TRUE(res.Close());
    EXPECT_EQ(readFile(path), saved + "trailing garbage");

    res.openReadOnly = 0;
    ASSERT_TRUE(res.Open());
    ASSERT_TRUE(res.Close());
    EXPECT_EQ(readFile(path), saved);
}

TEST_F(ResFileTest, TheThousandAndFirstPayloadIsRefused)
{
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    for (long id = 0; id < 1000; ++id) ASSERT_TRUE(res.SaveData("p", 1, kText, id)) << id;
    EXPECT_FALSE(res.SaveData("new", 3, kText, 1000));
    EXPECT_FALSE(res.SaveData("new", 3, kLaya, 0));
    EXPECT_EQ(res.GetItemsCount(kText), 1000);
    EXPECT_FALSE(res.IsDataAvailable(kText, 1000));
    // Replacing an existing payload still works in a full table.
    EXPECT_TRUE(res.SaveData("longer", 6, kText, 999));
    ASSERT_TRUE(res.Close());
    EXPECT_EQ(fileSize(), 16008 + 1000 + 6);

    ASSERT_TRUE(res.Open());
    EXPECT_EQ(res.GetElemsCount(), 1000);
    EXPECT_EQ(res.GetDataLen(kText, 999), 6);
    EXPECT_EQ(res.GetItemIndexID(kText, 999), 999);
}

TEST_F(ResFileTest, LookupByTypeIndexAndLength)
{
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("l1", 2, kLaya, 5));
    ASSERT_TRUE(res.SaveData("t1", 2, kText, 30));
    ASSERT_TRUE(res.SaveData("l2", 2, kLaya, 2));
    ASSERT_TRUE(res.SaveData("t2", 2, kText, 10));
    ASSERT_TRUE(res.SaveData("", 0, kText, 11));

    EXPECT_EQ(res.GetItemsCount(kText), 3);
    EXPECT_EQ(res.GetItemsCount(kLaya), 2);
    EXPECT_EQ(res.GetItemsCount(kelFourCC("MPIX")), 0);
    EXPECT_EQ(res.GetItemIndexID(kText, 0), 30);
    EXPECT_EQ(res.GetItemIndexID(kText, 1), 10);
    EXPECT_EQ(res.GetItemIndexID(kText, 3), -1);
    EXPECT_EQ(res.GetItemIndexID(kText, -1), -1);
    EXPECT_EQ(res.GetItemIndexID(kLaya, 1), 2);

    EXPECT_TRUE(res.IsDataLenAvailable(2, kText, 10));
    EXPECT_FALSE(res.IsDataLenAvailable(3, kText, 10));
    EXPECT_EQ(res.GetDataLen(kText, 10), 2);
    EXPECT_EQ(res.GetDataLen(kText, 12), 0);
    EXPECT_EQ(res.GetDataLen(kText, 5), 0);  // type and id must both match

    char buffer[4] = {'-', '-', '-', '-'};
    EXPECT_FALSE(res.LoadData(buffer, 1, kText, 10));
    EXPECT_FALSE(res.LoadData(buffer, 3, kText, 10));
    EXPECT_EQ(std::string(buffer, 4), "----");
    EXPECT_TRUE(res.LoadData(buffer, 2, kText, 10));
    EXPECT_EQ(std::string(buffer, 2), "t2");

    char* data = nullptr;
    ASSERT_TRUE(res.GetData(&data, kLaya, 2));
    EXPECT_EQ(std::string(data, 2), "l2");
    void* p = data;
    KEL_DisposePtr(&p);
    data = nullptr;
    EXPECT_FALSE(res.GetData(&data, kLaya, 3));
    EXPECT_EQ(data, nullptr);
    ASSERT_TRUE(res.GetData(&data, kText, 11));  // an empty payload still gets a buffer
    EXPECT_NE(data, nullptr);
    p = data;
    KEL_DisposePtr(&p);
}

TEST_F(ResFileTest, AClosedObjectAnswersNothingAndTouchesNoFile)
{
    KelResFile res;
    name(res);
    char buffer[2];
    char* data = nullptr;
    EXPECT_FALSE(res.Close());
    EXPECT_FALSE(res.SaveData("x", 1, kText, 1));
    EXPECT_FALSE(res.LoadData(buffer, 1, kText, 1));
    EXPECT_FALSE(res.GetData(&data, kText, 1));
    EXPECT_FALSE(res.IsDataAvailable(kText, 1));
    EXPECT_EQ(res.GetItemsCount(kText), 0);
    EXPECT_EQ(res.GetItemIndexID(kText, 0), 0);
    EXPECT_EQ(res.GetDataLen(kText, 1), 0);
    EXPECT_FALSE(KEL_FileExists(kel.c_str()));
}

TEST_F(ResFileTest, OpeningAgainWritesBackThePreviousFile)
{
    const std::string other = dir.file("other.xrs");
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("one", 3, kText, 1));
    ASSERT_TRUE(res.SetWorkName(kelPathOf(other).c_str()));
    ASSERT_TRUE(res.Create());
    EXPECT_FALSE(res.IsDataAvailable(kText, 1));
    ASSERT_TRUE(res.Close());
    EXPECT_EQ(fileSize(), 16011);
    EXPECT_EQ(readFile(path).substr(8, 16), entry(1, 0x54455854, 3, 16008));
}

TEST_F(ResFileTest, ContainersOfOtherCapacitiesKeepPayloadsOutOfTheTable)
{
    // A small table with a payload right behind it.
    ASSERT_TRUE(writeFile(path, container(2, entry(4, 0x54455854, 3, 40), 1, "abc")));
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Open());
    char buffer[3];
    ASSERT_TRUE(res.LoadData(buffer, 3, kText, 4));
    EXPECT_EQ(std::string(buffer, 3), "abc");
    ASSERT_TRUE(res.SaveData("de", 2, kText, 5));
    EXPECT_FALSE(res.SaveData("f", 1, kText, 6));  // capacity 2
    ASSERT_TRUE(res.Close());

    // A table larger than the usual one: appends go behind it, not into it.
    ASSERT_TRUE(writeFile(path, container(1500, "", 0)));
    ASSERT_TRUE(res.Open());
    ASSERT_TRUE(res.SaveData("xyz", 3, kText, 1));
    EXPECT_EQ(elemOf(res, kText, 1).offset, 8 + 16 * 1500);
    ASSERT_TRUE(res.Close());
    ASSERT_TRUE(res.Open());
    ASSERT_TRUE(res.LoadData(buffer, 3, kText, 1));
    EXPECT_EQ(std::string(buffer, 3), "xyz");
}

TEST_F(ResFileTest, DamagedFilesAreRefusedAndLeftAsTheyAre)
{
    const std::string payload = "payload!";
    const std::pair<const char*, std::string> damaged[] = {
        {"empty", ""},
        {"truncated header", be16(1) + be16(1000) + be16(0)},
        {"count above capacity", container(2, "", 3)},
        {"negative count", container(10, "", -1)},
        {"negative capacity", be16(1) + be16(0xFFFF) + be16(0) + be16(0)},
        {"table cut short", (be16(1) + be16(1000) + be16(2) + be16(0) + entry(1, 1, 0, 16008)).substr(0, 30)},
        {"negative length", container(4, entry(1, 0x54455854, -5, 72), 1, payload)},
        {"negative offset", container(4, entry(1, 0x54455854, 2, -8), 1, payload)},
        {"length past the end", container(4, entry(1, 0x54455854, 9, 72), 1, payload)},
        {"offset past the end", container(4, entry(1, 0x54455854, 1, 200000), 1, payload)},
        {"offset and length overflow", container(4, entry(1, 0x54455854, 0x7FFFFFFF, 72), 1, payload)},
        {"payload inside the table", container(4, entry(1, 0x54455854, 8, 16), 1, payload)},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(writeFile(path, bytes));
        for (uint8_t readOnly : {1, 0}) {
            KelResFile res;
            name(res);
            res.openReadOnly = readOnly;
            EXPECT_FALSE(res.Open());
            EXPECT_STRNE(res.GetOpenError(), "");
            EXPECT_FALSE(res.IsOpen());
            EXPECT_EQ(res.GetItemsCount(kText), 0);
            EXPECT_EQ(readFile(path), bytes);
        }
    }
    // The same shapes within the rules do open.
    ASSERT_TRUE(writeFile(path, container(4, entry(1, 0x54455854, 8, 72), 1, payload)));
    KelResFile res;
    name(res);
    EXPECT_TRUE(res.Open());
    EXPECT_EQ(res.GetDataLen(kText, 1), 8);
}

TEST_F(ResFileTest, AFailedWriteLeavesTheTableAsItWas)
{
    KelResFile res;
    name(res);
    ASSERT_TRUE(res.Create());
    ASSERT_TRUE(res.SaveData("abcd", 4, kText, 1));

    // Files may not grow past 17000 bytes while the limit holds.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 17000;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string big(2000, 'x');
    const bool addedBig = res.SaveData(big.data(), 2000, kText, 2);
    const bool movedBig = res.SaveData(big.data(), 2000, kText, 1);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_FALSE(addedBig);
    EXPECT_FALSE(movedBig);
    EXPECT_EQ(res.GetElemsCount(), 1);
    EXPECT_FALSE(res.IsDataAvailable(kText, 2));
    char buffer[4];
    ASSERT_TRUE(res.LoadData(buffer, 4, kText, 1));
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(elemOf(res, kText, 1).offset, 16008);
    ASSERT_TRUE(res.Close());
    // The partial write is cut off again at close.
    EXPECT_EQ(fileSize(), 16012);
}

TEST(ByteOrder, SwapsReverseBytesOnThisHostAndFieldHelpersAreExplicit)
{
    uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    KEL_PlatformSwap_Short(b);
    KEL_PlatformSwap_Long(b + 4);
    const uint8_t swapped[8] = {2, 1, 3, 4, 8, 7, 6, 5};
    if (!kKelHostIsBigEndian) {
        EXPECT_EQ(std::memcmp(b, swapped, 8), 0);
    }
    uint8_t r[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    KEL_PlatformSwap_Rect(r);
    const uint8_t rect[8] = {2, 1, 4, 3, 6, 5, 8, 7};
    if (!kKelHostIsBigEndian) {
        EXPECT_EQ(std::memcmp(r, rect, 8), 0);
    }

    EXPECT_EQ(kelFourCC("TEXT"), 0x54455854u);
    const uint8_t v[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(kelGetBE32(v), 0x12345678u);
    EXPECT_EQ(kelGetLE32(v), 0x78563412u);
    EXPECT_EQ(kelGetBE16(v), 0x1234u);
    EXPECT_EQ(kelGetLE16(v), 0x3412u);
    uint8_t out[4];
    kelPutLE32(out, 0x12345678u);
    EXPECT_EQ(kelGetBE32(out), 0x78563412u);
}

}  // namespace
