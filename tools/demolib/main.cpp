// demolibgen: writes the demo library into a program folder's Library/.
//
//   demolibgen LIBRARY [NAME...]         generate the whole library, or only
//                                        the songs and synth sounds named
//   demolibgen --listen OUT [N]          render N random grooves of every
//                                        song to OUT and print what they
//                                        and the loops measure
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/demolib/Library.h"
#include "tools/demolib/Listen.h"
#include "tools/demolib/Songs.h"

using namespace demolib;

namespace {

struct SongEntry {
    const char* folder;
    Song (*make)();
};
const SongEntry kSongs[] = {{"NightShift", makeHouse},    {"DustyCorners", makeHipHop},
                            {"VoltageDrop", makeElectro}, {"SlowTide", makeDowntempo},
                            {"IronMill", makeTechno},     {"Riverbed", makeDrumBass}};
struct SynthEntry {
    const char* name;
    SynthSound (*make)();
    uint32_t hue;
};
const SynthEntry kSynths[] = {{"GlassPluck", makePluck, 0x4fc3f7},     {"WarmPad", makePad, 0xe07be0},
                              {"ElectricPiano", makeEPiano, 0xffa630}, {"DeepBass", makeBass, 0xff5c5c},
                              {"TubeBell", makeBell, 0x3fd6c8},        {"SawLead", makeLead, 0x8bd450}};

int generate(const std::string& root, const std::vector<std::string>& only)
{
    auto wanted = [&](const char* name) {
        return only.empty() || std::find(only.begin(), only.end(), name) != only.end();
    };
    LibraryFiles out(root);
    int made = 0;
    for (const SongEntry& e : kSongs) {
        if (!wanted(e.folder)) continue;
        const Song song = e.make();
        writeSong(out, song);
        ++made;
    }
    for (const SynthEntry& e : kSynths) {
        if (!wanted(e.name)) continue;
        const SynthSound sound = e.make();
        writeSynth(out, sound, paintSynthPicture(sound, e.hue));
        ++made;
    }
    if (made < static_cast<int>(only.size())) {
        std::fprintf(stderr, "demolib: no such song or synth sound among the names given\n");
        return 2;
    }
    std::printf("demolib: %d songs and synth sounds, %d files, %.1f MB\n", made, out.files(),
                static_cast<double>(out.bytes()) / 1e6);
    return out.ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && argv[1][0] != '-')
        return generate(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    if (argc >= 3 && std::strcmp(argv[1], "--listen") == 0)
        return listen(argv[2], argc >= 4 ? std::atoi(argv[3]) : 8);
    std::fprintf(stderr, "usage: demolibgen LIBRARY [NAME...]\n       demolibgen --listen OUT [N]\n");
    return 2;
}
