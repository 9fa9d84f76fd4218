#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "KelTestPaths.h"
#include "core/BLInternational.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

constexpr long kText = kelFourCC("TEXT");

// Every message number the program shows.
const std::set<int> kUsedMessages = {
    1,   2,   3,   4,   6,   7,   9,   10,  11,  12,  13,  14,  16,  17,  19,  20,  21,  22,  24,  25,  31,
    34,  35,  36,  40,  42,  43,  44,  45,  46,  47,  48,  50,  52,  53,  100, 101, 102, 103, 104, 105, 106,
    107, 108, 109, 110, 111, 112, 113, 181, 189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201,
    202, 203, 204, 184, 387, 388, 389, 390, 391, 560, 561, 562, 563, 564, 565, 566, 567, 568};
// Messages the program fills in with texts (song, file or folder names): how many.
const std::map<int, int> kFormattedMessages = {
    {14, 2},  {17, 1},  {21, 1},  {48, 1},  {100, 1}, {101, 1}, {102, 2}, {103, 1}, {104, 2}, {105, 2},
    {106, 1}, {107, 1}, {108, 1}, {109, 1}, {110, 2}, {111, 1}, {112, 1}, {113, 1}, {181, 2}, {201, 1},
    {9, 1},   {184, 1}, {560, 1}, {561, 1}, {562, 1}, {563, 3}, {565, 1}, {566, 1}, {567, 1}, {568, 4}};

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class InternationalTest : public ::testing::Test {
protected:
    TempDir dir{"intl"};
    KelResFile res;
    plat::HeadlessBackend* backend = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(res.SetWorkName(kelPathOf(dir.file("Beatloom.xrs")).c_str()));
        ASSERT_TRUE(res.Create());
        auto b = std::make_unique<plat::HeadlessBackend>();
        backend = b.get();
        plat::setBackend(std::move(b));
    }
    void TearDown() override { plat::clearBackend(); }

    void put(long id, const std::string& table)
    {
        ASSERT_TRUE(res.SaveData(table.data(), static_cast<long>(table.size()), kText, id));
    }

    // The skin's own tables, as the build placed them in the program's resource file.
    void putSkinTable(long id)
    {
        KelResFile built;
        built.openReadOnly = 1;
        ASSERT_TRUE(built.SetWorkName(kelPathOf(testsupport::programDir() + "/Beatloom.xrs").c_str()));
        ASSERT_TRUE(built.Open());
        const long length = built.GetDataLen(kText, id);
        std::string table(static_cast<size_t>(length), '\0');
        ASSERT_TRUE(built.LoadData(table.data(), length, kText, id)) << id;
        put(id, table);
    }
};

TEST(Language, PosixLocalesMapToPrimaryLanguageIdentifiers)
{
    EXPECT_EQ(BL_LanguageFromLocale("fr_FR.UTF-8"), 0x0C);
    EXPECT_EQ(BL_LanguageFromLocale("fr_CA"), 0x0C);
    EXPECT_EQ(BL_LanguageFromLocale("de_DE@euro"), 0x07);
    EXPECT_EQ(BL_LanguageFromLocale("en_US.UTF-8"), 0x09);
    EXPECT_EQ(BL_LanguageFromLocale("EN"), 0x09);
    EXPECT_EQ(BL_LanguageFromLocale("pt-BR"), 0x16);
    EXPECT_EQ(BL_LanguageFromLocale("nb_NO"), 0x14);
    EXPECT_EQ(BL_LanguageFromLocale("C"), 0);
    EXPECT_EQ(BL_LanguageFromLocale("C.UTF-8"), 0);
    EXPECT_EQ(BL_LanguageFromLocale("POSIX"), 0);
    EXPECT_EQ(BL_LanguageFromLocale(""), 0);
    EXPECT_EQ(BL_LanguageFromLocale("xx_YY"), 0);
    EXPECT_EQ(BL_LanguageFromLocale("fr1"), 0);
    EXPECT_EQ(BL_LanguageFromLocale("averyverylongname"), 0);
    EXPECT_EQ(BL_LanguageFromLocale(nullptr), 0);
}

TEST(Language, TheFirstSetLocaleVariableWins)
{
    EnvVar all("LC_ALL", "de_DE.UTF-8");
    EnvVar messages("LC_MESSAGES", "fr_FR.UTF-8");
    EnvVar lang("LANG", "en_GB.UTF-8");
    EXPECT_EQ(BL_SystemLanguage(), 0x07);
    {
        EnvVar emptyAll("LC_ALL", "");
        EXPECT_EQ(BL_SystemLanguage(), 0x0C);
        EnvVar noMessages("LC_MESSAGES", nullptr);
        EXPECT_EQ(BL_SystemLanguage(), 0x09);
        EnvVar noLang("LANG", nullptr);
        EXPECT_EQ(BL_SystemLanguage(), 0);
    }
}

TEST_F(InternationalTest, TheLanguageTableChoosesTheMessageTable)
{
    put(1,
        "English,en,9,0\rDeutsch,de,7,2\rFran\xe7"
        "ais,fr,12,1\r");
    put(100, "zero\rOK title\rYes-No title\rYNC title\rfour\r");
    put(101, "z\u00e9ro\rtitre\r");
    put(102, "null\rTitel\r");
    BLInternational intl;

    intl.start(&res, 0x0C);
    EXPECT_EQ(intl.textSet, 1);
    EXPECT_EQ(std::string(intl.message(1).c_str()), "titre");

    intl.start(&res, 0x07);
    EXPECT_EQ(intl.textSet, 2);
    EXPECT_EQ(std::string(intl.message(0).c_str()), "null");

    intl.start(&res, 0x11);  // not listed: the first table
    EXPECT_EQ(intl.textSet, 0);
    EXPECT_EQ(std::string(intl.message(4).c_str()), "four");
    EXPECT_EQ(std::string(intl.message(5).c_str()), "");
    EXPECT_EQ(std::string(intl.message(500).c_str()), "");

    EnvVar all("LC_ALL", "de_AT.UTF-8");
    intl.start(&res);
    EXPECT_EQ(intl.language, 0x07);
    EXPECT_EQ(intl.textSet, 2);
}

TEST_F(InternationalTest, AnEmptyLineEndsTheLanguageWalkAndMissingTablesGiveEmptyTexts)
{
    BLInternational intl;
    intl.start(&res, 0x09);  // no tables at all
    EXPECT_EQ(intl.textSet, 0);
    EXPECT_TRUE(intl.message(1).isEmpty());
    EXPECT_TRUE(intl.title(0).isEmpty());

    put(1,
        "English,en,9,0\r\rFran\xe7"
        "ais,fr,12,1\r");
    put(100, "english\r");
    put(101,
        "fran\xe7"
        "ais\r");
    intl.start(&res, 0x0C);
    EXPECT_EQ(intl.textSet, 0);

    // A listed language whose table is missing falls back to the first table.
    put(1, "Deutsch,de,7,3\r");
    intl.start(&res, 0x07);
    EXPECT_EQ(intl.textSet, 3);
    EXPECT_EQ(std::string(intl.message(0).c_str()), "english");

    intl.start(nullptr, 0x07);
    EXPECT_TRUE(intl.message(0).isEmpty());
}

TEST_F(InternationalTest, NotifyShowsTheKindsButtonsTitleAndAnswer)
{
    put(100, "zero\rAttention,ignored\rQuestion\rChoice\rLa s\xe9quence est vide\r");
    blIntl.start(&res, 0x09);

    EXPECT_EQ(BL_Notify(4, 0), 1);  // unanswered boxes take their default button
    EXPECT_EQ(BL_Notify(4, 1), 2);
    EXPECT_EQ(BL_Notify(4, 2), 3);
    backend->queueBoxAnswer(plat::kBoxResultYes);
    EXPECT_EQ(BL_Notify(4, 1), 1);
    backend->queueBoxAnswer(plat::kBoxResultNo);
    EXPECT_EQ(BL_Notify(4, 2), 2);
    EXPECT_EQ(BL_Notify(4, 5), 3);   // clamped to kind 2
    EXPECT_EQ(BL_Notify(4, -1), 1);  // clamped to kind 0
    EXPECT_EQ(BL_Notify(99, 0), 1);

    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 8u);
    const int kinds[] = {0, 1, 2, 1, 2, 2, 0, 0};
    const char* titles[] = {"Attention", "Question", "Choice"};
    for (size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i].buttons, kinds[i]);
        EXPECT_EQ(boxes[i].title, titles[kinds[i]]);
    }
    EXPECT_EQ(boxes[0].text, "La séquence est vide");  // shown as UTF-8
    EXPECT_EQ(boxes[7].text, "");                      // past the end of the table
}

TEST_F(InternationalTest, NamesAreShownWholeAndAsTheyAre)
{
    put(100, "zero\rAttention\rQuestion\rChoice\rLe \xab %s \xbb et %s, 100%%\r");
    blIntl.start(&res, 0x09);
    std::string accents = "Caf\xC3\xA9";
    for (int i = 0; i < 40; ++i) accents += "\xC3\xA9";
    // A UTF-8 name stays UTF-8; one that is not UTF-8 is taken as 8-bit text.
    BL_NotifyNames(4, 1, {accents, "latin\xE9"});
    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Le \xC2\xAB " + accents + " \xC2\xBB et latin\xC3\xA9, 100%");
    EXPECT_EQ(boxes[0].title, "Question");
}

// The plain boxes take the program's 8-bit texts, and a name in UTF-8 (a
// folder's, a device's words) shows as itself there too, not as two signs
// a character.
TEST_F(InternationalTest, ThePlainBoxesShowANameInUtf8AsItself)
{
    KEL_UserNotify(
        "Le dossier /home/\xC3\xA9t\xC3\xA9 ne peut pas \xC3\xAAtre \xC3\xA9"
        "crit.",
        0);
    KEL_UserNotify("La s\xe9quence est vide", 0);
    KEL_UserChoose("Caf\xC3\xA9 ?", "Oui", "Non", nullptr);
    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Le dossier /home/été ne peut pas être écrit.");
    EXPECT_EQ(boxes[1].text, "La séquence est vide");
    EXPECT_EQ(boxes[2].text, "Café ?");
}

TEST_F(InternationalTest, TheQuitQuestionEndsTheLoopOnlyOnYes)
{
    putSkinTable(100);
    blIntl.start(&res, 0x09);
    kelGlo.running = 1;
    backend->queueBoxAnswer(plat::kBoxResultNo);
    EXPECT_FALSE(BL_ConfirmQuit());
    EXPECT_EQ(kelGlo.running, 1);
    backend->queueBoxAnswer(plat::kBoxResultYes);
    EXPECT_TRUE(BL_ConfirmQuit());
    EXPECT_EQ(kelGlo.running, 0);

    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, plat::kBoxYesNo);
    EXPECT_EQ(boxes[0].text, "Quit Beatloom?");
    EXPECT_EQ(boxes[0].title, "Question");
}

TEST_F(InternationalTest, TheSkinTablesHoldEveryMessageInEveryLanguage)
{
    putSkinTable(1);
    putSkinTable(100);
    putSkinTable(101);

    BLInternational intl;
    intl.start(&res, 0x09);
    const long lines = intl.messages.itemsCount('\r');
    for (const int16_t language : {0x09, 0x0C, 0x07}) {
        SCOPED_TRACE(language);
        intl.start(&res, language);
        EXPECT_EQ(intl.textSet, language == 0x0C ? 1 : 0);
        EXPECT_EQ(intl.messages.itemsCount('\r'), lines);  // the tables line up
        for (const int n : kUsedMessages) {
            const kelText text = intl.message(n);
            EXPECT_FALSE(text.isEmpty()) << "message " << n;
            // Callers format some messages; the others must not look like formats.
            const std::string s = text.c_str();
            int formats = 0;
            for (size_t at = s.find('%'); at != std::string::npos; at = s.find('%', at + 2), ++formats)
                EXPECT_EQ(s.substr(at, 2), "%s") << n;
            const auto wanted = kFormattedMessages.find(n);
            EXPECT_EQ(formats, wanted == kFormattedMessages.end() ? 0 : wanted->second) << n << ": " << s;
        }
        for (int16_t kind = 0; kind < 3; ++kind) EXPECT_FALSE(intl.title(kind).isEmpty());
    }
}

}  // namespace
