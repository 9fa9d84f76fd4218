// beatloom [options] [document.bld]
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/ListEffects.h"
#include "app/MakeSong.h"
#include "audio/BLEngine.h"
#include "control/BLGrooveMidi.h"
#include "control/BLNsmClient.h"
#include "control/BLOscControls.h"
#include "core/BLPath.h"
#include "core/kelCore.h"
#include "core/kelDisksList.h"
#include "library/BLInspect.h"
#include "net/BLLinkSync.h"
#include "panels/player/BLRender.h"
#include "panels/startup/PWDemo.h"
#include "panels/startup/PWShots.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "platform/PlatSdl.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"

namespace {

bool gRunning = false;

// A library that gives up from under us (Xlib when the display goes away)
// calls exit(): leave at once then, before the engine's threads and the
// window are torn down by static destructors that would hang on the dead
// display or abort on a running thread.
void leaveAtOnce()
{
    if (!gRunning) return;
    std::fflush(nullptr);
    std::_Exit(1);
}

const char kUsage[] =
    "Usage: beatloom [options] [document.bld]\n"
    "\n"
    "Makes music out of loops: eight tracks, one loop each, one beat-locked mix.\n"
    "A groove document named on the command line is opened after start-up.\n"
    "\n"
    "Options:\n"
    "  --version           print the version and exit\n"
    "  --help, -h          print this help and exit\n"
    "  --demo DIR          show the program for a few seconds, save what it\n"
    "                      showed in DIR (screen.png) and end\n"
    "  --shots DIR         save a picture of every panel in DIR (groove.png,\n"
    "                      browser.png ...) at the stage's size and end; the\n"
    "                      run has a program folder of its own and plays silently\n"
    "  --headless          run without a display (no window; boxes take their\n"
    "                      default answer, file dialogs are cancelled)\n"
    "  --script FILE       run headless, fed with the timed events of FILE\n"
    "  --window            with --script: feed the events to the desktop window\n"
    "                      instead (mouse positions in window pixels)\n"
    "  --log FILE          headless: record boxes, dialogs and screenshots in FILE\n"
    "  --screen WxH        headless: the size of the window, the stage fitted to it\n"
    "                      (default 1024x768, the stage at its own size)\n"
    "  --midi-map FILE     take the MIDI controllers' bindings from the mapping\n"
    "                      FILE (kept in the preferences from then on)\n"
    "  --link              join the Ableton Link session on the network (tempo,\n"
    "                      beat and start shared with other music programs);\n"
    "                      kept in the preferences like the network panel's switch\n"
    "  --osc PORT          listen for OSC control on UDP PORT for this run\n"
    "                      (0: not at all), whatever the preferences say\n"
    "  --jack              play through JACK, and stop when no JACK server runs\n"
    "  --no-jack           play through the sound card even when a JACK server runs\n"
    "                      (without it JACK plays when a server runs, else SDL)\n"
    "  --disk FOLDER       the song browser sees FOLDER as a removable disk\n"
    "                      instead of the machine's volumes (may be repeated)\n"
    "  --song-info FOLDER  print what the program reads of a song folder and exit\n"
    "  --doc-info FILE     print what a groove document holds and exit\n"
    "  --make-song FOLDER_OR_FILES... [--name NAME] [--tempo BPM] [--yes]\n"
    "                      make a song of the library from loops of your own\n"
    "                      (WAV, AIFF, FLAC, Ogg, MP3; folders with their\n"
    "                      subfolders): each loop's tempo from its name or its\n"
    "                      length, its group from its folder or its name; loops\n"
    "                      at another tempo are stretched to the song's, keeping\n"
    "                      their pitch. Your files are only read. --yes makes it\n"
    "                      without asking; exit 3 when some files were left out\n"
    "  --list-effects      print the built-in effects and the LV2 plugins found,\n"
    "                      with their parameters, and exit\n"
    "  --render DOC.bld -o OUT [--stems [--overwrite]] [--format F]\n"
    "                      [--normalize | --no-normalize]\n"
    "                      [--quality Q] [--key-lock | --no-key-lock] [--live]\n"
    "                      [--take N] [--progress]\n"
    "                      mix the document's sequence to OUT (-o or --output)\n"
    "                      without the interface, as the Disk mix button does: one\n"
    "                      file, or\n"
    "                      with --stems a file per instrument group into the\n"
    "                      folder OUT (only the groups' files are written; files\n"
    "                      of those names already there are replaced only with\n"
    "                      --overwrite); F is wav, wav24, aiff, flac, ogg, opus or\n"
    "                      mp3; --normalize brings it to -14 LUFS (--no-normalize\n"
    "                      leaves it as mixed); Q is classic\n"
    "                      (whole frames, exact) or high (band-limited);\n"
    "                      --key-lock stretches it to the tempo, keeping the key.\n"
    "                      --live mixes it through the program's own playing\n"
    "                      chain instead, as fast as it goes: the sound it plays,\n"
    "                      effects and key lock's real-time stretcher included.\n"
    "                      --take N mixes the document's take N (from 1) instead,\n"
    "                      through that chain: sample for sample what was heard.\n"
    "                      --progress prints each percent done as a line on\n"
    "                      standard error (for a program that runs it).\n"
    "                      What is not given comes from the preferences.\n";

struct Options {
    bool headless = false;
    bool window = false;
    bool jack = false;
    bool noJack = false;
    std::string script;
    std::string log;
    int screenWidth = 0;
    int screenHeight = 0;
    std::string document;
    std::string demo;
    std::string shots;
    std::string songInfo;
    std::string docInfo;
    std::vector<std::string> disks;
    std::string midiMap;
    bool render = false;
    BLRenderOptions renderOptions;
    bool makeSong = false;
    MakeSongOptions makeSongOptions;
    bool listEffects = false;
};

int usageError(const std::string& text)
{
    std::fprintf(stderr, "beatloom: %s\nTry 'beatloom --help'.\n", text.c_str());
    return 2;
}

// Start-up makes the program folder current: a path the user typed relative
// to where they were is kept pointing there.
std::string fromHere(const std::string& path)
{
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

// The path of this program file as started: a program folder of links (as
// tests make) stays the program folder instead of the links' target.
std::string programFile(const char* argv0)
{
    if (argv0 && std::strchr(argv0, '/')) {
        if (argv0[0] == '/') return argv0;
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) return std::string(cwd) + "/" + argv0;
    }
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return argv0 ? argv0 : "";
    self[n] = '\0';
    return self;
}

std::string programFolder(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

// A mapping file named relative to where the user is, else the one of that
// name beside the program: `--midi-map midi/eight-tracks.txt` from anywhere.
std::string mapFileFromHere(const std::string& path, const std::string& besideProgram)
{
    std::string here = fromHere(path);
    if (path.empty() || path[0] == '/' || access(here.c_str(), F_OK) == 0 || besideProgram.empty())
        return here;
    const std::string beside = besideProgram + path;
    return access(beside.c_str(), F_OK) == 0 ? beside : here;
}

// Returns -1 to go on, else the exit code.
int parse(int argc, char** argv, Options& o)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--version") {
            std::printf("Beatloom 2.0\n");
            return 0;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--headless") {
            o.headless = true;
        } else if (a == "--link") {
            BLLinkSync::joinAtStart();
        } else if (a == "--osc") {
            std::string port;
            int n = -1;
            if (!value(port) || std::sscanf(port.c_str(), "%d", &n) != 1 || n < 0 || n > 65535)
                return usageError("--osc needs a UDP port, 1 to 65535 (0: off)");
            BLOsc_UsePort(n);
        } else if (a == "--jack") {
            o.jack = true;
        } else if (a == "--no-jack") {
            o.noJack = true;
        } else if (a == "--window") {
            o.window = true;
        } else if (a == "--script") {
            if (!value(o.script)) return usageError("--script needs a file");
            o.headless = true;
        } else if (a == "--demo") {
            if (!value(o.demo)) return usageError("--demo needs a folder");
        } else if (a == "--shots") {
            if (!value(o.shots)) return usageError("--shots needs a folder");
        } else if (a == "--disk") {
            std::string disk;
            if (!value(disk)) return usageError("--disk needs a folder");
            o.disks.push_back(fromHere(disk));
        } else if (a == "--midi-map") {
            if (!value(o.midiMap)) return usageError("--midi-map needs a mapping file");
        } else if (a == "--song-info") {
            if (!value(o.songInfo)) return usageError("--song-info needs a song folder");
        } else if (a == "--doc-info") {
            if (!value(o.docInfo)) return usageError("--doc-info needs a groove document");
        } else if (a == "--make-song") {
            o.makeSong = true;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
                o.makeSongOptions.paths.push_back(fromHere(argv[++i]));
        } else if (a == "--name") {
            if (!value(o.makeSongOptions.name)) return usageError("--name needs a song name");
        } else if (a == "--tempo") {
            std::string tempo;
            if (!value(tempo) || std::sscanf(tempo.c_str(), "%d", &o.makeSongOptions.tempo) != 1 ||
                o.makeSongOptions.tempo < 40 || o.makeSongOptions.tempo > 300)
                return usageError("--tempo needs a whole number of beats a minute, 40 to 300");
        } else if (a == "--yes") {
            o.makeSongOptions.yes = true;
        } else if (a == "--render") {
            if (!value(o.renderOptions.document)) return usageError("--render needs a groove document");
            o.render = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(o.renderOptions.output)) return usageError("-o needs a file or folder");
        } else if (a == "--stems") {
            o.renderOptions.stems = true;
        } else if (a == "--overwrite") {
            o.renderOptions.overwrite = true;
        } else if (a == "--format") {
            if (!value(o.renderOptions.format))
                return usageError("--format needs wav, wav24, aiff, flac, ogg, opus or mp3");
        } else if (a == "--normalize" || a == "--no-normalize") {
            o.renderOptions.normalize = a == "--normalize" ? 1 : 0;
        } else if (a == "--key-lock" || a == "--no-key-lock") {
            o.renderOptions.keyLock = a == "--key-lock" ? 1 : 0;
        } else if (a == "--live") {
            o.renderOptions.live = true;
        } else if (a == "--progress") {
            o.renderOptions.progress = true;
        } else if (a == "--take") {
            std::string n;
            if (!value(n) || std::sscanf(n.c_str(), "%d", &o.renderOptions.take) != 1 ||
                o.renderOptions.take < 1)
                return usageError("--take needs a take's number, from 1");
        } else if (a == "--list-effects") {
            o.listEffects = true;
        } else if (a == "--quality") {
            if (!value(o.renderOptions.quality)) return usageError("--quality needs classic or high");
        } else if (a == "--log") {
            if (!value(o.log)) return usageError("--log needs a file");
        } else if (a == "--screen") {
            std::string size;
            if (!value(size) || std::sscanf(size.c_str(), "%dx%d", &o.screenWidth, &o.screenHeight) != 2 ||
                o.screenWidth < 64 || o.screenHeight < 64 || o.screenWidth > 8192 || o.screenHeight > 8192)
                return usageError("--screen needs a size such as 1024x768");
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return usageError("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (!o.makeSong &&
        (!o.makeSongOptions.name.empty() || o.makeSongOptions.tempo > 0 || o.makeSongOptions.yes))
        return usageError("--name, --tempo and --yes go with --make-song");
    if (o.jack && o.noJack) return usageError("--jack and --no-jack go one without the other");
    if (!o.shots.empty()) {
        if (!o.script.empty() || o.window || !o.demo.empty() || !words.empty() || o.screenWidth > 0)
            return usageError("--shots goes with none of --script, --window, --demo, --screen or a document");
        o.headless = true;
        o.screenWidth = PWScreenClass::kStageWidth;
        o.screenHeight = PWScreenClass::kStageHeight;
    }
    if (o.window) {
        if (o.script.empty()) return usageError("--window goes with --script");
        o.headless = false;
    }
    // A path with blanks given without quotes arrives as several words.
    for (size_t i = 0; i < words.size(); ++i) o.document += (i ? " " : "") + words[i];
    o.document = fromHere(o.document);
    o.demo = fromHere(o.demo);
    o.shots = fromHere(o.shots);
    o.log = fromHere(o.log);
    o.midiMap = mapFileFromHere(o.midiMap, programFolder(programFile(argc > 0 ? argv[0] : nullptr)));
    if (o.render) {
        o.renderOptions.document = fromHere(o.renderOptions.document);
        o.renderOptions.output = fromHere(o.renderOptions.output);
    } else if (!o.renderOptions.output.empty() || o.renderOptions.stems || o.renderOptions.overwrite ||
               !o.renderOptions.format.empty() || o.renderOptions.normalize >= 0 ||
               !o.renderOptions.quality.empty() || o.renderOptions.keyLock >= 0 || o.renderOptions.live ||
               o.renderOptions.take > 0 || o.renderOptions.progress) {
        return usageError(
            "-o, --stems, --overwrite, --format, --normalize, --quality, --key-lock, --live, --take and "
            "--progress go with --render");
    }
    return -1;
}

bool makeBackend(const Options& o)
{
    std::unique_ptr<plat::HeadlessBackend> headless;
    if (o.headless || o.window) {
        headless = std::make_unique<plat::HeadlessBackend>(o.screenWidth > 0 ? o.screenWidth : 1024,
                                                           o.screenHeight > 0 ? o.screenHeight : 768);
        // A size given is a screen like any other: the stage fits it. Without
        // one, the stage shows at its own size, as the test scripts expect.
        if (o.screenWidth > 0) headless->setDefaultStageSize(plat::kStageFit);
        if (!o.log.empty()) headless->setLogFile(o.log);
        headless->setBusyCheck([] { return BLPath::dialogPending(); });
        if (!o.script.empty()) {
            std::string error;
            if (!headless->loadScript(o.script, error)) {
                std::fprintf(stderr, "beatloom: %s\n", error.c_str());
                return false;
            }
        }
    }
    if (o.headless) {
        plat::setBackend(std::move(headless));
        return true;
    }
    std::string error;
    auto sdl = plat::makeSdlBackend(error);
    if (!sdl) {
        std::fprintf(
            stderr,
            "beatloom: there is no display to open a window on (%s).\n"
            "Run it on a desktop, under a virtual display (xvfb-run beatloom), or with --headless.\n",
            error.c_str());
        return false;
    }
    if (o.window) {
        plat::setBackend(plat::makeScriptedSdlBackend(std::move(sdl), std::move(headless)));
        return true;
    }
    plat::setBackend(std::move(sdl));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    KEL_InstallSignalHandlers();
    Options options;
    if (const int rc = parse(argc, argv, options); rc >= 0) return rc;
    if (options.listEffects) return ListEffects_Main(stdout);
    if (options.render) {
        // A file grown past the size limit is a failed write, not the end of the program.
        std::signal(SIGXFSZ, SIG_IGN);
        const std::string folder = programFolder(programFile(argc > 0 ? argv[0] : nullptr));
        return BLRender_Main(options.renderOptions, folder.c_str(), stdout, stderr);
    }
    if (options.makeSong) {
        const std::string folder = programFolder(programFile(argc > 0 ? argv[0] : nullptr));
        return MakeSong_Main(options.makeSongOptions, folder, stdout, stderr);
    }
    if (!options.songInfo.empty() || !options.docInfo.empty()) {
        const std::string folder = programFolder(programFile(argc > 0 ? argv[0] : nullptr));
        return options.songInfo.empty()
                   ? BLInspect_DocInfo(options.docInfo.c_str(), folder.c_str(), stdout, stderr)
                   : BLInspect_SongInfo(options.songInfo.c_str(), folder.c_str(), stdout, stderr);
    }
    if (options.document.size() >= static_cast<size_t>(kWindowsCommandLineSize)) {
        std::fprintf(stderr, "beatloom: the document path is too long; starting without it\n");
        options.document.clear();
    }
    std::snprintf(windowsCommandLine, sizeof windowsCommandLine, "%s", options.document.c_str());
    std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s",
                  programFile(argc > 0 ? argv[0] : nullptr).c_str());
    if (!options.shots.empty()) {
        std::string error;
        const std::string file = PWShots_Arm(options.shots, PWprogramFile, error);
        if (file.empty()) {
            std::fprintf(stderr, "beatloom: %s\n", error.c_str());
            return 1;
        }
        std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s", file.c_str());
    }

    if (!options.demo.empty() && !PWDemo_Arm(options.demo)) {
        std::fprintf(stderr, "beatloom: cannot write into %s\n", options.demo.c_str());
        return 1;
    }
    if (!options.disks.empty()) kelDisksList::setVolumeRoots(options.disks);
    if (!options.midiMap.empty()) BLMidi_UseMapFile(options.midiMap);
    if (!makeBackend(options)) return 1;
    // A session manager names the document and the JACK client before JACK opens.
    if (std::string session; BLNsm_Start(argc > 0 ? argv[0] : nullptr, session)) {
        options.document = session;
        std::snprintf(windowsCommandLine, sizeof windowsCommandLine, "%s", options.document.c_str());
    }
    if (options.noJack) BLEngine::forgoJack();
    if (options.jack && !BLEngine::openJack()) {
        std::fprintf(stderr, "beatloom: --jack: %s\n", BLEngine::jackMissing().c_str());
        plat::clearBackend();
        return 1;
    }
    gRunning = true;
    std::atexit(leaveAtOnce);
    int rc = 0;
    if (KEL_Platform_Init()) {
        KEL_Init();
        KEL_Main2(PW_AppHooks());
        KEL_Exit();
        rc = KEL_Platform_Exit();
    }
    BLNsm_End();
    plat::clearBackend();
    gRunning = false;
    if (!options.shots.empty()) rc = PWShots_Finish(rc);
    return rc;
}
