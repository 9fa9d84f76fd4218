// demolibgen: writes the demo library into a program folder's Library/.
//
//   demolibgen LIBRARY                   generate the whole library
//   demolibgen --listen OUT [N]          render N random grooves of every
//                                        song to OUT and print what they
//                                        and the loops measure
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/demolib/Library.h"
#include "tools/demolib/Listen.h"
#include "tools/demolib/Songs.h"

using namespace demolib;

namespace {

int generate(const std::string& root)
{
    LibraryFiles out(root);
    using Maker = Song (*)();
    const Maker songs[] = {makeHouse, makeHipHop, makeElectro, makeDowntempo, makeTechno, makeDrumBass};
    for (Maker make : songs) {
        const Song song = make();
        writeSong(out, song);
        std::printf("demolib: %-14s %3d BPM, %zu loops\n", song.folder.c_str(), song.bpm, song.samples.size());
    }
    for (SynthSound (*make)() : {makePluck, makePad}) {
        const SynthSound sound = make();
        writeSynth(out, sound);
        std::printf("demolib: synth %-10s %zu notes\n", sound.name.c_str(), sound.notes.size());
    }
    std::printf("demolib: %d files, %.1f MB\n", out.files(), static_cast<double>(out.bytes()) / 1e6);
    return out.ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && argv[1][0] != '-') return generate(argv[1]);
    if (argc >= 3 && std::strcmp(argv[1], "--listen") == 0) return listen(argv[2], argc >= 4 ? std::atoi(argv[3]) : 8);
    std::fprintf(stderr, "usage: demolibgen LIBRARY\n       demolibgen --listen OUT [N]\n");
    return 2;
}
