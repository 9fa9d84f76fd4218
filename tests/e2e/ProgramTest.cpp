// The real program, started as a person starts it, driven headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/ScreenPictures.h"
#include "library/BLDocument.h"
#include "library/BLSynthIce.h"
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
              "screenshot " +
                  dir.file("small.png") +
                  "\n"
                  "wait 300\n"
                  "quit\n");
    auto r = run({dir.program(), "--script", dir.file("script.txt")}, dir.path(), 60);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    e2e::Shot shot(dir.file("small.png"));
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(shot.width(), 800);
    EXPECT_EQ(shot.at(79, 300), 0);  // left of the stage, which now starts at 80
    EXPECT_NE(shot.at(85, 300), 0);  // the groove panel's plate
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

// The program started apart from the test, with these arguments and the
// environment's additions; its process id.
pid_t startProgram(const ProgramDir& dir, const std::vector<std::string>& args,
                   const std::vector<std::string>& env = {})
{
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<std::string> argv{dir.program()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> p;
        for (std::string& a : argv) p.push_back(a.data());
        p.push_back(nullptr);
        execv(p[0], p.data());
        _exit(127);
    }
    return pid;
}

// Waits (30 s at most) until the file holds the text.
bool waitForText(const std::string& file, const std::string& text)
{
    const auto start = std::chrono::steady_clock::now();
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Sends the signal and waits for the end; the exit code, -1 when it had to be killed.
int endWith(pid_t pid, int sig)
{
    kill(pid, sig);
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool running(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.substr(close + 2, 1) != "Z";
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
        const pid_t pid = startProgram(dir, {"--script", dir.file("script.txt"), "--log", log});
        ASSERT_TRUE(waitForText(log, "screenshot " + shot));
        EXPECT_EQ(endWith(pid, sig), 0) << "signal " << sig;
    }
    EXPECT_EQ(readFile(log).find("box"), std::string::npos);
}

TEST(Program, SignalsEndItInOrderWhileABoxOrADialogWaits)
{
    ProgramDir dir;
    const std::string log = dir.file("log.txt");
    writeFile(dir.file("bad.bld"), "no document");
    // Boxes nobody answers: the quit question, and a message.
    for (const std::string& ask : {std::string("close"), "dialog " + dir.file("bad.bld") + "\nctrl o"}) {
        fs::remove(dir.file("Beatloom.prf"));
        fs::remove(log);
        writeFile(dir.file("script.txt"), "box hold\n" + ask + "\n");
        const pid_t pid = startProgram(dir, {"--script", dir.file("script.txt"), "--log", log});
        ASSERT_TRUE(waitForText(log, "-> holding")) << readFile(log);
        EXPECT_EQ(endWith(pid, SIGTERM), 0) << ask;
        EXPECT_TRUE(fs::exists(dir.file("Beatloom.prf"))) << "the orderly shut-down saved the preferences";
    }

    // A file dialog's helper program ends with the program.
    fs::create_directories(dir.file("bin"));
    writeFile(dir.file("bin/zenity"),
              "#!/bin/sh\necho $$ > " + dir.file("dialog.pid") + "\nexec sleep 600\n");
    fs::permissions(dir.file("bin/zenity"), fs::perms::owner_all);
    writeFile(dir.file("script.txt"), "dialog external\nctrl o\n");
    const std::string path = "PATH=" + dir.file("bin") + ":" + std::getenv("PATH");
    const pid_t pid = startProgram(dir, {"--script", dir.file("script.txt"), "--log", log}, {path});
    ASSERT_TRUE(waitForText(dir.file("dialog.pid"), "\n"));
    const pid_t helper = std::stoi(readFile(dir.file("dialog.pid")));
    ASSERT_TRUE(running(helper));
    EXPECT_EQ(endWith(pid, SIGINT), 0);
    const auto start = std::chrono::steady_clock::now();
    while (running(helper) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(running(helper)) << "no child is left behind";
    if (running(helper)) kill(helper, SIGKILL);
}

// The recovery files in a state folder ("work-....bld").
std::vector<fs::path> recoveryFiles(const std::string& state)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(state) / "beatloom", ec))
        if (e.path().extension() == ".bld") found.push_back(e.path());
    return found;
}

// A document's work, written again in the one order the program writes it.
std::vector<uint8_t> workOf(const std::string& bytes)
{
    auto ice = std::make_unique<BLIceimage>();
    BLSynthDefaultDocument synth;
    BLWorkExtras extras;
    const std::vector<uint8_t> in(bytes.begin(), bytes.end());
    if (BLDocument_Decode(in, ice.get(), &synth, &extras).status != BLDocumentRead::read) return {};
    return BLDocument_Encode(*ice, &synth, &extras);
}

TEST(Program, WorkNotSavedAtAKillIsOfferedAtTheNextStartAndComesBackWhole)
{
    ProgramDir dir;
    testsupport::TempDir state("state");
    const std::vector<std::string> env = {"XDG_STATE_HOME=" + state.path()};
    // The first song from the browser and a groove stored: work not saved.
    writeFile(dir.file("script.txt"), "press return\npress return\nwait 60000\n");
    const pid_t pid =
        startProgram(dir, {"--script", dir.file("script.txt"), "--log", dir.file("log1.txt")}, env);
    std::string before;
    const auto start = std::chrono::steady_clock::now();
    while (before.empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        for (const fs::path& f : recoveryFiles(state.path())) before = readFile(f.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_FALSE(workOf(before).empty()) << "a recovery file while the work was not saved";
    auto ice = std::make_unique<BLIceimage>();
    BLDocument_Decode(std::vector<uint8_t>(before.begin(), before.end()), ice.get(), nullptr);
    EXPECT_EQ(ice->sequence.count, 1) << "the groove stored";

    // Offered at the next start, taken, saved: the work as it was before the kill.
    const std::string back = dir.file("back.bld"), log = dir.file("log2.txt");
    writeFile(dir.file("script.txt"), "box yes\ndialog " + back + "\nctrl s\nquit\n");
    const auto r =
        run({dir.program(), "--script", dir.file("script.txt"), "--log", log}, dir.path(), 60, env);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(readFile(log).find("Recover it? -> Recover"), std::string::npos) << readFile(log);
    // The recovery files are the user's, whatever installation wrote them:
    // the question names the document, its song and the program it came from.
    EXPECT_NE(readFile(log).find("the document \"Untitled\" on the song \""), std::string::npos)
        << readFile(log);
    EXPECT_NE(readFile(log).find("made by the program in " + dir.path() + "."), std::string::npos)
        << readFile(log);
    EXPECT_EQ(workOf(readFile(back)), workOf(before));
    // Saved and ended: no recovery file, no lock, nothing else left behind.
    std::error_code ec;
    EXPECT_TRUE(fs::is_empty(fs::path(state.path()) / "beatloom", ec)) << "left in the state folder";
}

TEST(Program, ADamagedResourceFileSaysSoAndFails)
{
    ProgramDir dir;
    const std::string log = dir.file("log.txt");
    for (const std::string& damage :
         {std::string(16008, '\0'), readFile(testsupport::programDir() + "/Beatloom.xrs").substr(0, 20000)}) {
        fs::remove(dir.file("Beatloom.xrs"));
        fs::remove(log);
        writeFile(dir.file("Beatloom.xrs"), damage);
        const auto r = run({dir.program(), "--headless", "--log", log}, dir.path(), 30);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(readFile(log).find("'Beatloom.xrs' is damaged"), std::string::npos) << readFile(log);
        EXPECT_EQ(readFile(log).find("Can't find"), std::string::npos);
    }
}

TEST(Program, DamagedDocumentsSaySoFromTheCommandLineAndTheOpenDialog)
{
    ProgramDir dir;
    const std::string log = dir.file("log.txt");
    // An atoms file of version 2, and one whose groove image is cut off.
    auto atom = [](const char* id, uint32_t length, const std::string& data) {
        std::string a;
        for (int i = 3; i >= 0; --i) a += id[i];
        for (int i = 0; i < 4; ++i) a += static_cast<char>(length >> (8 * i));
        return a + data;
    };
    writeFile(dir.file("v2.bld"), "gsFA" + atom("vers", 4, std::string("\x02\0\0\0", 4)));
    writeFile(dir.file("cut.bld"),
              "gsFA" + atom("vers", 4, std::string("\x01\0\0\0", 4)) + atom("iced", 8732, "\x01Night"));
    writeFile(dir.file("script.txt"), "dialog " + dir.file("cut.bld") + "\nctrl o\n");
    const pid_t pid =
        startProgram(dir, {"--script", dir.file("script.txt"), "--log", log, dir.file("v2.bld")});
    ASSERT_TRUE(waitForText(log, "cut.bld\" is damaged")) << readFile(log);
    EXPECT_EQ(endWith(pid, SIGTERM), 0);
    const std::string said = readFile(log);
    EXPECT_NE(said.find("The document \"v2.bld\" was written by another version of Beatloom (format 2)"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("The document \"cut.bld\" is damaged"), std::string::npos) << said;
}

}  // namespace
