// The CI script's own checks: the format check fails on a file out of the
// house format, and the sanitizer trees' choice of tests by label holds the
// sessions where threads meet and no other.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

testsupport::RunResult checkFormat(const std::string& file)
{
    return testsupport::run({testsupport::sourceDir() + "/scripts/check-format.sh", file});
}

}  // namespace

TEST(CiScript, TheFormatCheckFailsOnAMisformattedFileAndPassesItFormatted)
{
    testsupport::TempDir dir("format");
    const std::string file = dir.file("Loose.cpp");
    ASSERT_TRUE(testsupport::writeFile(file, "int  twice( int x ) {return 2*x;}\n"));
    const auto loose = checkFormat(file);
    EXPECT_EQ(loose.exitCode, 1) << loose.out;
    EXPECT_NE(loose.out.find("Loose.cpp:1:"), std::string::npos) << loose.out;
    EXPECT_NE(loose.out.find("1 of 1 files are not formatted"), std::string::npos) << loose.out;

    ASSERT_TRUE(testsupport::writeFile(file, "int twice(int x)\n{\n    return 2 * x;\n}\n"));
    const auto tidy = checkFormat(file);
    EXPECT_EQ(tidy.exitCode, 0) << tidy.out;
}

TEST(CiScript, TheSanitizerTreesRunTheUnitSuitesAndTheSessionsWhereThreadsMeet)
{
    const auto listed = testsupport::run({"ctest", "--test-dir", testsupport::programDir(), "-N", "-L",
                                          "^(unit|threads)$", "-LE", "^(slow|realtime)$"});
    ASSERT_EQ(listed.exitCode, 0) << listed.out;
    const auto has = [&](const std::string& name) {
        return listed.out.find(": " + name) != std::string::npos;
    };
    // Threads meet in the link's sessions and in a render killed at any moment.
    EXPECT_TRUE(
        has("NetSession.TwoInstancesPlayOneGrooveChangedOnEitherSideInEveryUseAndAStoppedPeerFreesTheSlot"));
    EXPECT_TRUE(has("Render.KilledAtAnyMomentLosesNothing"));
    EXPECT_TRUE(has("Stress.RandomChangesWhileTheLoaderAndTheTimerRun"));
    // The rest of the sessions, the tools' tests, a long exact computation
    // and a JACK client that must keep real time stay in Release.
    EXPECT_FALSE(has("Render.TheClassicMixIsTheMixWorkedOutSampleForSample"));
    EXPECT_FALSE(has("GroovePanelSession.ALoopChosenByTheMenusComesInAtItsNextPeriodStart"));
    EXPECT_FALSE(has("CiScript.TheFormatCheckFailsOnAMisformattedFileAndPassesItFormatted"));
    EXPECT_FALSE(has("WindowFit.EveryWindowPixelOfAScaledStagePixelMapsBackToItAndShowsIt"));
    EXPECT_FALSE(has("PlatMidi.PassesMessagesBetweenOwnPortsOverJack"));
    EXPECT_TRUE(has("PlatMidi.SaysWhyWhenNoMidiSystemAnswers"));
}
