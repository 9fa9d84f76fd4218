#include "app/MakeSong.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelRes.h"
#include "library/BLMakeSong.h"

int MakeSong_Main(const MakeSongOptions& options, const std::string& programFolder, FILE* out, FILE* err)
{
    if (options.paths.empty()) {
        std::fprintf(err, "beatloom: --make-song needs loop files or folders\n");
        return 2;
    }
    // Why a loop is left out, in the user's language when the resource file is there.
    KelResFile resources;
    resources.openReadOnly = 1;
    char kel[kKelPathMax + 1];
    const std::string xrs = (std::filesystem::path(programFolder) / "Beatloom.xrs").string();
    if (KEL_SystemPathToKelPath(xrs.c_str(), kel) && resources.SetWorkName(kel) && resources.Open())
        blIntl.start(&resources);
    const BLSongPlan plan = BLMakeSong_Plan(options.paths, options.name, options.tempo);
    int leftOut = 0;
    for (const BLMadeLoop& loop : plan.loops) {
        std::fprintf(loop.problem.empty() ? out : err, "%s\n", BLMakeSong_Describe(loop, plan.bpm).c_str());
        leftOut += !loop.problem.empty();
    }
    if (!plan.problem.empty()) {
        std::fprintf(err, "beatloom: no song made: %s\n", BLMakeSong_Says(plan.why).c_str());
        return 1;
    }
    std::fprintf(out, "The song \"%s\" at %d BPM%s: %d loop%s in %zu group%s.\n", plan.name.c_str(), plan.bpm,
                 plan.tempoGiven ? "" : " (the loops' most common tempo)", plan.usable(),
                 plan.usable() == 1 ? "" : "s", plan.groups.size(), plan.groups.size() == 1 ? "" : "s");
    if (!options.yes) {
        if (!isatty(fileno(stdin))) {
            std::fprintf(err, "beatloom: nothing made; add --yes to make the song without being asked\n");
            return 1;
        }
        std::fprintf(out, "Make it? [y/N] ");
        std::fflush(out);
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
            std::fprintf(out, "Nothing made.\n");
            return 1;
        }
    }
    // The writer keeps its journal in the program folder, as the program does.
    std::error_code ec;
    std::filesystem::current_path(programFolder, ec);
    if (!ec) KEL_StartWriting();
    const bool tty = isatty(fileno(err)) != 0;
    int shown = -1;
    const BLMakeSongResult made = BLMakeSong_Write(
        plan, (std::filesystem::path(programFolder) / "Library" / "Song").lexically_normal().string(),
        [&](double done) {
            const int percent = static_cast<int>(std::lround(done * 100));
            if (tty && percent != shown) {
                shown = percent;
                std::fprintf(err, "\r[%-30s] %3d%%",
                             std::string(static_cast<size_t>(percent * 30 / 100), '#').c_str(), percent);
                std::fflush(err);
            }
            return !KEL_TerminateRequested();
        });
    if (tty && shown >= 0) std::fprintf(err, "\r%-40s\r", "");
    if (!made.made) {
        std::fprintf(err, "beatloom: no song made: %s; nothing of it was kept\n", made.problem.c_str());
        return 1;
    }
    std::fprintf(out, "Made: %s\n", made.folder.c_str());
    return leftOut > 0 ? 3 : 0;
}
