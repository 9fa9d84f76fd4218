// The real window: the program on SDL's X11 driver under a virtual X server
// shows what the headless screen image shows. The server's framebuffer (an
// XWD file, -fbdir) is read while the program runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/GrooveSession.h"
#include "e2e/ScreenPictures.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramDir;

bool onPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string folder = rest.substr(0, colon);
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
        if (colon == std::string::npos) break;
        rest.erase(0, colon + 1);
    }
    return false;
}

// The pixels of an XWD file of 32-bit pixels, as 15-bit values; empty when
// the file is not one.
std::vector<uint16_t> readFramebuffer(const std::string& path, int& width, int& height)
{
    const std::string bytes = testsupport::readFile(path);
    auto be32 = [&](size_t at) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    if (bytes.size() < 100 || be32(4) != 7 || be32(44) != 32) return {};
    const uint32_t headerSize = be32(0), colours = be32(76), rowBytes = be32(48);
    width = static_cast<int>(be32(16));
    height = static_cast<int>(be32(20));
    const bool littleEndian = be32(28) == 0;
    const size_t start = headerSize + size_t{colours} * 12;
    if (bytes.size() < start + size_t{rowBytes} * height) return {};
    std::vector<uint16_t> out(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto* p =
                reinterpret_cast<const uint8_t*>(bytes.data()) + start + size_t{rowBytes} * y + 4 * x;
            const uint8_t r = littleEndian ? p[2] : p[1], g = littleEndian ? p[1] : p[2],
                          b = littleEndian ? p[0] : p[3];
            out[static_cast<size_t>(y) * width + x] =
                static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        }
    return out;
}

// Pixels of the grid (every 7th) that differ between the framebuffer and a shot.
// Where xvfb-run starts looking for a free display: tests that run at the
// same time would otherwise both find the first free number and one server
// would fail to start.
std::string firstServerNumber()
{
    return std::to_string(300 + getpid() % 600);
}

int differences(const std::vector<uint16_t>& fb, int width, int height, const e2e::Shot& shot)
{
    if (width != shot.width() || height != shot.height()) return -1;
    int n = 0;
    for (int y = 0; y < height; y += 7)
        for (int x = 0; x < width; x += 7) n += fb[static_cast<size_t>(y) * width + x] != shot.at(x, y);
    return n;
}

TEST(RealWindow, UnderXvfbTheWindowShowsWhatTheHeadlessScreenShows)
{
    if (!onPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed (scripts/install-deps.sh installs it)";
    ProgramDir dir;
    testsupport::writeFile(dir.file("script.txt"),
                           "wait 500\nscreenshot " + dir.file("headless.png") + "\nquit\n");
    const auto headless = testsupport::run(
        {dir.program(), "--script", dir.file("script.txt"), "--screen", "1280x800"}, dir.path(), 60);
    ASSERT_EQ(headless.exitCode, 0) << headless.out;
    const e2e::Shot reference(dir.file("headless.png"));
    ASSERT_TRUE(reference.ok());

    const std::string fbDir = dir.file("fb");
    fs::create_directory(fbDir);
    const std::string server = "-screen 0 1280x800x24 -fbdir " + fbDir;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setpgid(0, 0);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // The X11 driver's libraries keep allocations for the process; what the
        // program itself allocates is checked by the headless tests.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        const std::string program = dir.program(), demo = dir.file("demo"), number = firstServerNumber();
        execlp("xvfb-run", "xvfb-run", "-a", "-n", number.c_str(), "-s", server.c_str(), program.c_str(),
               "--demo", demo.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The window shows the stage a moment after start; the demonstration
    // ends the program a few seconds later.
    int best = -1, width = 0, height = 0;
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    bool exited = false;
    while (!exited && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        const auto fb = readFramebuffer(fbDir + "/Xvfb_screen0", width, height);
        if (!fb.empty()) {
            const int d = differences(fb, width, height, reference);
            if (d >= 0 && (best < 0 || d < best)) best = d;
        }
        exited = waitpid(pid, &status, WNOHANG) == pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!exited) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program under xvfb-run did not end";
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xvfb-run ended with " << status;
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(best, 0) << "grid pixels of the window that differ from the headless screen";
    // And the picture the program drew there, saved by the desktop backend:
    // the same window, the stage now showing the song the demonstration
    // plays instead of the song browser.
    const e2e::Shot drawn(dir.file("demo") + "/screen.png");
    ASSERT_TRUE(drawn.ok());
    ASSERT_EQ(drawn.width(), 1280);
    // The stage fills the height, centred: (64, 0) of a 768 x 480 picture.
    const plat::WindowFit f = plat::fitWindow(1280, 800, 1280, 800);
    const int left = f.toWindowX(64) - 1, right = f.toWindowX(64 + 640) + 1;
    int outside = 0, outsideSame = 0, stage = 0, stageChanged = 0;
    for (int y = 0; y < 800; y += 5)
        for (int x = 0; x < 1280; x += 5) {
            const bool onStage = x >= left && x < right;
            const bool same = drawn.at(x, y) == reference.at(x, y);
            (onStage ? stage : outside) += 1;
            if (onStage)
                stageChanged += !same;
            else
                outsideSame += same;
        }
    EXPECT_EQ(outsideSame, outside);
    EXPECT_GT(stageChanged, stage / 10);
}

// Runs the program with its real window under a virtual display of the given
// size, fed with a script through the window's own event queue; true when it
// ended by itself with exit code 0.
bool runWindowScript(const ProgramDir& dir, const std::string& size, const std::string& script,
                     std::string& why)
{
    testsupport::writeFile(dir.file("window-script.txt"), script);
    const std::string server = "-screen 0 " + size + "x24";
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        setpgid(0, 0);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        const std::string program = dir.program(), scriptPath = dir.file("window-script.txt"),
                          log = dir.file("window-log.txt"), number = firstServerNumber();
        execlp("xvfb-run", "xvfb-run", "-a", "-n", number.c_str(), "-s", server.c_str(), program.c_str(),
               "--window", "--script", scriptPath.c_str(), "--log", log.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            why = "the program under xvfb-run did not end";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why = "exit status " + std::to_string(status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(RealWindow, OnLargeScreensTheStageFillsTheWindowSharpAndAnswersClicks)
{
    if (!onPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed (scripts/install-deps.sh installs it)";
    e2e::SkinPictures skin(testsupport::programDir() + "/Beatloom.xrs");
    const kelPoint browserSize = skin.size(e2e::kBrowserBack);
    for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{1280, 800}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        SCOPED_TRACE(size);
        ProgramDir dir;
        const plat::WindowFit f = plat::fitWindow(w, h, w, h);
        const int ox = (f.width - 640) / 2, oy = (f.height - 480) / 2;
        const int bx = ox + 320 - browserSize.h / 2, by = oy + 240 - browserSize.v / 2;
        // A stage point as the window shows it: the middle of its scaled square.
        auto wx = [&](int x) { return static_cast<int>(f.offsetX + (x + 0.5) * f.scale()); };
        auto wy = [&](int y) { return static_cast<int>(f.offsetY + (y + 0.5) * f.scale()); };
        auto window = [&](int x, int y) { return std::to_string(wx(x)) + " " + std::to_string(wy(y)); };
        // Load (its button at (14, 360) of the browser), then a click on the
        // tempo slider's track: the groove plays its song at another tempo.
        const std::string script = "wait 300\nscreenshot " + dir.file("start.png") + "\nclick " +
                                   window(bx + 40, by + 370) + "\nwait 1500\nclick " +
                                   window(ox + 300, oy + 81) + "\nwait 300\nscreenshot " +
                                   dir.file("playing.png") + "\nquit\n";
        std::string why;
        ASSERT_TRUE(runWindowScript(dir, size, script, why)) << why;
        const e2e::Shot start(dir.file("start.png")), playing(dir.file("playing.png"));
        ASSERT_TRUE(start.ok() && playing.ok()) << testsupport::readFile(dir.file("window-log.txt"));
        ASSERT_EQ(start.width(), w);
        ASSERT_EQ(start.height(), h);
        const std::string name = "window-" + size;
        groovee2e::GrooveSession::keepScreen(dir.file("start.png"), name + "-start");
        groovee2e::GrooveSession::keepScreen(dir.file("playing.png"), name + "-playing");
        // Centred and filling the height: the groove panel's corners where the stage is, black beside.
        EXPECT_GE(480 * f.scale(), h - 1);
        EXPECT_TRUE(
            e2e::nearColour(start.at(wx(ox + 20), wy(oy + 470)), skin.pixel(e2e::kGrooveBack, 20, 470)));
        EXPECT_TRUE(
            e2e::nearColour(start.at(wx(ox + 630), wy(oy + 100)), skin.pixel(e2e::kGrooveBack, 630, 100)));
        EXPECT_EQ(start.at(f.toWindowX(ox) - 2, wy(oy + 100)), 0);
        EXPECT_EQ(start.at(f.toWindowX(ox + 640) + 1, wy(oy + 100)), 0);
        // A point of the browser that covers a bare part of the groove panel.
        const int px = ox + 590, py = oy + 430;
        EXPECT_TRUE(
            e2e::nearColour(start.at(wx(px), wy(py)), skin.pixel(e2e::kBrowserBack, px - bx, py - by)));
        // The click on Load reached the browser: it is gone and the song plays.
        EXPECT_TRUE(e2e::nearColour(playing.at(wx(px), wy(py)), skin.pixel(e2e::kGrooveBack, 590, 430)));
        const std::string log = testsupport::readFile(dir.file("window-log.txt"));
        EXPECT_EQ(log.find("failed"), std::string::npos) << log;
    }
}

}  // namespace

// Waits up to `seconds` for the child to end; its status, or -1 when it did not.
int waitEnd(pid_t pid, int seconds)
{
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status;
}

TEST(RealWindow, TheProgramEndsWhenItsDisplayGoesAway)
{
    if (!onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    ProgramDir dir;
    // A display number no other server holds; the server is ready when its socket shows.
    int n = 150;
    while (n < 250 && (fs::exists("/tmp/.X" + std::to_string(n) + "-lock") ||
                       fs::exists("/tmp/.X11-unix/X" + std::to_string(n))))
        ++n;
    const std::string display = ":" + std::to_string(n);
    const pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto serverStart = std::chrono::steady_clock::now();
    while (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
           std::chrono::steady_clock::now() - serverStart < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    const std::string demo = dir.file("demo");
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        execl(dir.program().c_str(), dir.program().c_str(), "--demo", demo.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Once the sound runs (the window is open by then), the display dies.
    const auto start = std::chrono::steady_clock::now();
    bool sounding = false;
    // The device's frames go to a temporary of the writer's in the demo's folder.
    const auto soundFile = [&] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(demo, ec))
            if (plat::isTemporaryName(e.path().filename().string()) && e.file_size(ec) > 0) return true;
        return false;
    };
    while (!(sounding = soundFile()) && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    if (!sounding) kill(program, SIGKILL);
    ASSERT_TRUE(sounding) << "the demonstration never played";
    const int status = waitEnd(program, 60);
    if (status == -1) {
        kill(program, SIGKILL);
        waitpid(program, nullptr, 0);
        FAIL() << "the program hung on its dead display";
    }
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
}
