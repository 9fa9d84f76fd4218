// Feeds arbitrary files to the preferences: whatever "Beatloom.prf" holds,
// loading keeps every value in its range, and a save leaves a sound file
// that loads the values saved.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "core/kelRes.h"
#include "library/BLprefs.h"

namespace {

using fuzzfiles::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool entered = chdir(fuzzfiles::folder().c_str()) == 0;
    check(entered, "cannot enter the fuzz folder");
    fuzzfiles::write(kBLPrefsFileName, data, size);
    blPrefsClass prefs;
    prefs.load();
    for (int16_t level : prefs.randomLevels) check(level >= 3 && level <= 7, "a level out of range");
    check(prefs.interfaceColor >= 0 && prefs.interfaceColor <= 7, "a colour out of range");
    prefs.interfaceColor = static_cast<int16_t>(size % 8);
    check(prefs.save(), "a save that failed");
    KelResFile file;
    file.openReadOnly = 1;
    check(file.SetWorkName(kBLPrefsFileName) && file.Open(), "a saved file that does not open");
    file.Close();
    blPrefsClass again;
    again.load();
    check(again.interfaceColor == prefs.interfaceColor, "the saved colour did not come back");
    return 0;
}
