// skinc: the skin compiler. Reads the sources under skin/ and writes the
// resource file "Beatloom.xrs" (casts, layouts, text tables, the help table)
// and "Helps.txt".
//
//   skinc SKIN-FOLDER OUT.xrs OUT-Helps.txt
//
// The same sources always give the same bytes. Both files are written beside
// their targets and renamed into place, so a failed run leaves the old ones.
#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kelCore.h"
#include "tools/skinc/SkinBuild.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: skinc SKIN-FOLDER OUT.xrs OUT-Helps.txt\n", stderr);
        return 2;
    }
    // No boxes from the framework in a build tool.
    kelDebugFlag = 0;
    skinc::Diag diag;
    skinc::SkinBuild build(argv[1], diag);
    const bool good = build.compile() && build.write(argv[2], argv[3]);
    for (const std::string& e : diag.errors()) std::fprintf(stderr, "skinc: %s\n", e.c_str());
    // Cairo's font caches go too, so leak checkers see a clean exit.
    cairo_debug_reset_static_data();
    if (!good || !diag.ok()) {
        if (diag.ok()) std::fputs("skinc: failed\n", stderr);
        return 1;
    }
    return 0;
}
