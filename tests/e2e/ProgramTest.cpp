// The real program, started as a person starts it, driven headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/ScreenPictures.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ProgramDir;
using testsupport::readFile;
using testsupport::run;
using testsupport::writeFile;

namespace {

TEST(Program, VersionAndHelp)
{
    ProgramDir dir;
    auto v = run({dir.program(), "--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, "Beatloom 2.0\n");
    auto h = run({dir.program(), "--help"});
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_NE(h.out.find("Usage: beatloom"), std::string::npos);
    auto bad = run({dir.program(), "--frobnicate"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.out.find("unknown option --frobnicate"), std::string::npos);
    auto badScript = run({dir.program(), "--script", dir.file("missing.txt")});
    EXPECT_EQ(badScript.exitCode, 1);
    EXPECT_NE(badScript.out.find("cannot read the script"), std::string::npos);
}

TEST(Program, QuitQuestionAnsweredNoThenYes)
{
    ProgramDir dir;
    writeFile(dir.file("script.txt"),
              "wait 200\n"
              "box no\n"
              "ctrl q\n"
              "wait 300\n"
              "box yes\n"
              "close\n");
    const std::string log = dir.file("log.txt");
    auto r = run({dir.program(), "--script", dir.file("script.txt"), "--log", log}, dir.path(), 30);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string text = readFile(log);
    EXPECT_NE(text.find("box [Question] Quit Beatloom?"), std::string::npos) << text;
    const auto no = text.find("-> no");
    const auto yes = text.find("-> yes", no == std::string::npos ? 0 : no);
    EXPECT_NE(no, std::string::npos) << text;
    EXPECT_NE(yes, std::string::npos) << text;  // still running after No: it asked again
    // Start-up made the library folders beneath the program folder.
    for (const char* sub : {"Library/Song", "Library/Images", "Library/Synth", "Library/Bls"})
        EXPECT_TRUE(fs::is_directory(fs::path(dir.path()) / sub)) << sub;
}

TEST(Program, AScriptedResizeRecentresTheStageAtOnce)
{
    ProgramDir dir;
    writeFile(dir.file("script.txt"),
              "wait 300\n"
              "resize 800 600\n"
              "wait 300\n"
              "screenshot " + dir.file("small.png") + "\n"
              "wait 300\n"
              "quit\n");
    auto r = run({dir.program(), "--script", dir.file("script.txt"), "--screen", "1024x768"}, dir.path(), 60);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    e2e::Shot shot(dir.file("small.png"));
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(shot.width(), 800);
    EXPECT_EQ(shot.at(79, 300), 0);    // left of the stage, which now starts at 80
    EXPECT_NE(shot.at(85, 300), 0);    // the groove panel's plate
    EXPECT_NE(shot.at(714, 530), 0);
}

TEST(Program, WithoutItsResourceFileItSaysSoAndEnds)
{
    testsupport::TempDir dir("noxrs");
    const std::string program = dir.file("beatloom");
    fs::create_symlink(fs::path(testsupport::programDir()) / "beatloom", program);
    const std::string log = dir.file("log.txt");
    auto r = run({program, "--headless", "--log", log}, dir.path(), 30);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readFile(log), "box [Warning] Can't find 'Beatloom.xrs' file. Can't continue. -> yes/ok\n");
    EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "Library"));  // nothing else was made
}

TEST(Program, TerminateSignalShutsDownWithoutAsking)
{
    ProgramDir dir;
    const std::string log = dir.file("log.txt");
    for (int sig : {SIGTERM, SIGINT}) {
        // The signal comes once the main loop runs: the script's first
        // screenshot tells when.
        const std::string shot = dir.file("up" + std::to_string(sig) + ".png");
        writeFile(dir.file("script.txt"), "screenshot " + shot + "\n");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string program = dir.program(), script = dir.file("script.txt");
            execl(program.c_str(), program.c_str(), "--script", script.c_str(), "--log", log.c_str(), nullptr);
            _exit(127);
        }
        const auto start = std::chrono::steady_clock::now();
        while (!fs::exists(shot) && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, sig);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(40)) {
                kill(pid, SIGKILL);
                FAIL() << "did not stop on signal " << sig;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(readFile(log).find("box"), std::string::npos);
}

}  // namespace
