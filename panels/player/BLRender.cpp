#include "panels/player/BLRender.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "audio/BLEngine.h"
#include "audio/LiveMix.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelPath.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "library/BLDocument.h"
#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"
#include "library/BLSongText.h"
#include "library/BLTakePlay.h"
#include "library/BLprefs.h"
#include "panels/player/BLDiskMix.h"
#include "platform/PlatFiles.h"

namespace fs = std::filesystem;

namespace {

struct FormatName {
    const char* name;
    uint32_t code;
    int16_t bits;  // 0: the format's own choice
};

constexpr FormatName kFormats[] = {
    {"wav", kelQtFormatNative, 0}, {"wav24", kelQtFormatWave, 24},   {"aiff", kelQtFormatAiff, 0},
    {"flac", kelQtFormatFlac, 0},  {"ogg", kelQtFormatOggVorbis, 0}, {"opus", kelQtFormatOpus, 0},
    {"mp3", kelQtFormatMp3, 0},
};

std::string kelOf(const std::string& system)
{
    std::string kel(kKelPathMax + 1, '\0');
    if (!KEL_SystemPathToKelPath(system.c_str(), kel.data(), static_cast<int>(kel.size()))) return {};
    kel.resize(std::char_traits<char>::length(kel.c_str()));
    return kel;
}

// Opening the song fills the samples list as the groove panel does, without
// arming the output device.
class OfflineEngine : public BLEngineCalls {
public:
    void stop() override {}
    void setMixerFrequency(long) override {}
    void samplesListReset() override { engine.samplesListReset(); }
    void samplesBpm(float bpm) override { SetSongBPM(std::isfinite(bpm) ? static_cast<int>(bpm) : 0); }
    void samplesListAdd(const char* path, short repeats) override { engine.samplesListAdd(path, repeats); }
    OfflineEngine() { engine.loopsInMemory = false; }
    BLEngine engine;
};

// One bar, redrawn in place when its percentage changes; on anything but a
// terminal nothing is drawn.
class TerminalFeedback : public BLDiskMixFeedback {
public:
    TerminalFeedback(FILE* err, bool messages, bool lines)
        : err_(err), tty_(isatty(fileno(err)) != 0), messages_(messages), lines_(lines)
    {
    }

    void message(int16_t n) override
    {
        phase_ = text(n);
        percent_ = -1;
        draw();
    }
    void amount(float a) override
    {
        base_ = a;
        bar(a);
    }
    void subAmountRange(float r) override { range_ = r; }
    void subAmount(float x) { bar(x * range_ + base_); }
    bool shouldStop() override { return KEL_TerminateRequested(); }
    void notify(int16_t n) override
    {
        clearLine();
        std::fprintf(err_, "beatloom: %s\n", text(n).c_str());
        failed = true;
    }
    void notify(int16_t n, const std::vector<std::string>& names) override
    {
        clearLine();
        std::string t = messages_ ? blIntl.messageWithNames(n, names) : std::string();
        if (t.empty()) {
            t = "message " + std::to_string(n);
            for (const std::string& name : names) t += ": " + name;
        }
        std::fprintf(err_, "beatloom: %s\n", t.c_str());
        failed = true;
    }
    void hide() override { clearLine(); }

    bool failed = false;

private:
    std::string text(int16_t n) const
    {
        std::string t = messages_ ? KEL_Latin1ToUtf8(blIntl.message(n).c_str()) : std::string();
        return t.empty() ? "message " + std::to_string(n) : t;
    }
    void bar(float fraction)
    {
        const int p = static_cast<int>(std::clamp(fraction, 0.0f, 1.0f) * 100.0f);
        if (p == percent_) return;
        percent_ = p;
        draw();
    }
    void draw()
    {
        if (lines_ && percent_ >= 0) {
            std::fprintf(err_, "%d%%\n", percent_);
            std::fflush(err_);
            return;
        }
        if (!tty_) return;
        constexpr int kWidth = 30;
        const int p = percent_ < 0 ? 0 : percent_;
        const int filled = p * kWidth / 100;
        std::fprintf(err_, "\r[%s%s] %3d%% %-40.40s", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), p, phase_.c_str());
        std::fflush(err_);
        drawn_ = true;
    }
    void clearLine()
    {
        if (!tty_ || !drawn_) return;
        std::fprintf(err_, "\r%-80s\r", "");
        std::fflush(err_);
        drawn_ = false;
    }

    FILE* err_;
    bool tty_;
    bool messages_;
    bool lines_;
    bool drawn_ = false;
    std::string phase_;
    int percent_ = -1;
    float base_ = 0, range_ = 1;
};

TerminalFeedback* gTerminal = nullptr;
void terminalSubAmount(float x)
{
    if (gTerminal) gTerminal->subAmount(x);
}
bool terminalShouldStop()
{
    return gTerminal && gTerminal->shouldStop();
}

int fail(FILE* err, const std::string& text, int code = 1)
{
    std::fprintf(err, "beatloom: %s\n", text.c_str());
    return code;
}

}  // namespace

int BLRender_Main(const BLRenderOptions& options, const char* programFolder, FILE* out, FILE* err)
{
    const FormatName* format = nullptr;
    if (!options.format.empty()) {
        for (const FormatName& f : kFormats)
            if (options.format == f.name) format = &f;
        if (!format)
            return fail(
                err, "unknown format '" + options.format + "' (wav, wav24, aiff, flac, ogg, opus or mp3)", 2);
    }
    if (!options.quality.empty() && options.quality != "classic" && options.quality != "high")
        return fail(err, "unknown quality '" + options.quality + "' (classic or high)", 2);
    if (options.output.empty()) return fail(err, "--render needs -o OUT", 2);
    if (options.take > 0 && (options.stems || !options.quality.empty()))
        return fail(
            err,
            "--take mixes a take as it was heard, into one file: --stems and --quality do not go with it", 2);
    if (options.live && !options.quality.empty())
        return fail(err, "--quality chooses the mixdown's resampling; --live plays the program's own chain",
                    2);

    std::error_code ec;
    if (!fs::is_regular_file(options.document, ec)) return fail(err, "cannot open " + options.document);
    // One file is no folder: "FOLDER/.wav" is not what was asked for.
    if (!options.stems && (options.output.back() == '/' || fs::is_directory(options.output, ec)))
        return fail(err,
                    options.output +
                        " is a folder: name the file to write in it (or give --stems for a file per group)");
    if (programFolder && programFolder[0]) {
        fs::current_path(programFolder, ec);
        if (!ec) KEL_StartWriting();
    }

    // The preferences give what the options leave open.
    blPrefs.load();
    uint32_t code = format ? format->code : blPrefs.exportFormat;
    kelQtSettingsHandle settings;
    if (!format || format->code == blPrefs.exportFormat)
        kelQt_soundConvert_settingsDataCopy(&blPrefs.exportSettings, &settings);
    if (format && format->bits) kelQt_soundConvert_settingsSetTo(code, 0, format->bits, 0, &settings);
    struct Dispose {
        kelQtSettingsHandle* h;
        ~Dispose() { kelQt_soundConvert_settingsDataDispose(h); }
    } dispose{&settings};
    if (code != kelQtFormatNative) {
        bool writable = false;
        uint32_t c = 0;
        for (int16_t i = 0; kelQt_soundConvert_getFormat(i, &c, nullptr); ++i)
            writable = writable || c == code;
        if (!writable)
            return fail(err,
                        "this system cannot write " + (format ? options.format : "the preferences' format"));
    }

    // The message texts, when the resource file is there.
    KelResFile resources;
    resources.openReadOnly = 1;
    const bool messages = resources.SetWorkName("Beatloom.xrs") && resources.Open();
    if (messages) blIntl.start(&resources);

    const std::string docKel = kelOf(options.document);
    auto ice = std::make_unique<BLIceimage>();
    const BLDocumentRead read =
        docKel.empty() ? BLDocumentRead{} : BLDocument_Read(docKel.c_str(), ice.get(), nullptr);
    if (read.status != BLDocumentRead::read || !ice->valid)
        return fail(err, options.document + " is not a groove document this program reads");
    if (read.imageShort)
        std::fprintf(err,
                     "beatloom: %s is incomplete: it ends inside its grooves; what is missing is empty\n",
                     options.document.c_str());
    if (options.take > static_cast<int>(ice->takes.size()))
        return fail(err, options.document + " has no take " + std::to_string(options.take) + " (it has " +
                             std::to_string(ice->takes.size()) + ")");
    if (read.takesDamaged)
        std::fprintf(err, "beatloom: the takes of %s are damaged: those read whole are kept\n",
                     options.document.c_str());
    if (options.take <= 0 && ice->sequence.length <= 0)
        return fail(err, options.document + " has no sequence to mix");
    const std::string folder = std::string(":Library:Song:") + ice->songName + ":";
    auto library = std::make_unique<BLSongLibrary>();
    if (!bltext::isPlainName(ice->songName) || !kelPath(folder.c_str()).isFolder() ||
        !library->load(folder.c_str()))
        return fail(err, std::string("the song \"") + ice->songName + "\" of " + options.document +
                             " is not in the library (" + fs::current_path(ec).string() + "/Library/Song)");
    // The tempo the program itself would play the document at: within the
    // song's tempo and its window (refused otherwise, as opening it does),
    // never under the slowest it plays.
    const float songTempo = library->bpm;
    if (!(ice->bpm >= songTempo - kBLTempoWindow && ice->bpm <= songTempo + kBLTempoWindow)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the tempo of %%s (%g BPM) is outside what its song can be played at (%g to %g BPM)",
                      static_cast<double>(ice->bpm), static_cast<double>(songTempo - kBLTempoWindow),
                      static_cast<double>(songTempo + kBLTempoWindow));
        std::string t = text;
        t.replace(t.find("%s"), 2, options.document);
        return fail(err, t);
    }
    // A stop asked for from the terminal reaches every render and conversion.
    TerminalFeedback feedback(err, messages, options.progress);
    struct Hooks {
        explicit Hooks(TerminalFeedback& f)
        {
            gTerminal = &f;
            QualMix_SetHooks(terminalSubAmount, terminalShouldStop);
            kelQt_soundConvert_setHooks(terminalSubAmount, terminalShouldStop);
        }
        ~Hooks()
        {
            QualMix_SetHooks(nullptr, nullptr);
            kelQt_soundConvert_setHooks(nullptr, nullptr);
            gTerminal = nullptr;
        }
        Hooks(const Hooks&) = delete;
        Hooks& operator=(const Hooks&) = delete;
    } hooks(feedback);
    const float tempo = std::max(ice->bpm, BL_SlowestTempo(library->bpm));
    OfflineEngine engine;
    std::unique_ptr<LiveMix> live;
    if (options.live && options.take <= 0) {
        live = std::make_unique<LiveMix>();
        BLTake_OpenSong(*live, *library, folder);
    } else if (options.take <= 0) {
        // A take opens the song in its own live chain.
        library->fillSamplesList(folder.c_str(), engine);
    }

    const std::string target = kelOf(options.output);
    if (target.empty()) return fail(err, "cannot write " + options.output);
    BLDiskMixJob job;
    job.library = library.get();
    job.sequence = &ice->sequence;
    job.tempo = tempo;
    job.target = options.stems ? 1 : 0;
    job.path = target;
    job.format = code;
    job.settings = &settings;
    job.normalize = options.normalize >= 0 ? options.normalize != 0 : blPrefs.normalize != 0;
    job.quality = options.quality.empty()     ? static_cast<int>(blPrefs.resampleQuality)
                  : options.quality == "high" ? static_cast<int>(kQualMixHigh)
                                              : static_cast<int>(kQualMixClassic);
    job.keyLock = options.keyLock >= 0 ? options.keyLock != 0 : blPrefs.keyLock != 0;
    job.overwrite = options.overwrite;
    if (live) {
        job.render = [&live, tempo, keyLock = job.keyLock](const std::string& wav, const MixPlan& plan) {
            return live->render(wav.c_str(), plan, tempo, keyLock, 63, terminalSubAmount, terminalShouldStop);
        };
    }
    if (options.take > 0) {
        // As it was heard, into one file.
        const BLTake& take = ice->takes[static_cast<size_t>(options.take - 1)];
        job.target = 0;
        job.takeFrames = take.frames;
        job.renderTake = [&](const std::string& wav) {
            return BLTake_Render(take, *library, folder, wav, terminalSubAmount, terminalShouldStop);
        };
    }

    const BLDiskMixOutcome outcome = BLDiskMix_Run(job, engine.engine, feedback);
    if (messages) resources.Close();

    std::string written;
    for (const std::string& file : outcome.files) {
        char system[kKelSystemPathMax + 1];
        if (!KEL_KelPathToSystemPath(file.c_str(), system, sizeof system)) continue;
        std::fprintf(out, "%s\n", system);
        written += std::string(written.empty() ? "" : ", ") + system;
    }
    if (!outcome.inTheWay.empty()) {
        std::string there;
        for (const std::string& file : outcome.inTheWay) {
            char name[kKelNameMax + 1];
            KEL_FileNameFromPath(file.c_str(), name, sizeof name);
            there += std::string(there.empty() ? "" : ", ") + name;
        }
        return fail(err, options.output + " holds files of this mix already (" + there +
                             "); nothing was written. Give --overwrite to replace them.");
    }
    if (outcome.stopped)
        return fail(err,
                    written.empty()
                        ? "stopped; no half-written file was left, and every older file is as it was"
                        : "stopped; written whole before the stop: " + written +
                              "; no half-written file was left, and every other file is as it was",
                    130);
    return outcome.failed || outcome.nothingToMix ? 1 : 0;
}
