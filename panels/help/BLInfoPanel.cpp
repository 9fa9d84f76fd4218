#include "panels/help/BLInfoPanel.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "audio/BLEngine.h"
#include "control/BLOscControls.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

#ifndef BEATLOOM_VERSION
#define BEATLOOM_VERSION "2.0"
#endif

namespace {

constexpr int16_t kMsgVersion = 260;
constexpr int16_t kMsgTagline = 261;
constexpr int16_t kMsgFirstFigure = 262;  // songs, loops, minutes, synth sounds, disk used
constexpr int16_t kMsgCounting = 267;
constexpr int16_t kMsgKilobytes = 268;
constexpr int16_t kMsgDecimalMark = 271;
constexpr int16_t kMsgFirstKey = 272;
constexpr int16_t kMsgFonts = 277;
constexpr int16_t kMsgDefaultCard = 406;
constexpr int16_t kMsgSound = 409;
constexpr int16_t kMsgSoundJack = 430;
constexpr int16_t kMsgOscPort = 706;
constexpr int16_t kMsgOscOff = 707;

// What the program links, each with its licence as its Debian package
// states it. The fonts' name comes from the message table.
constexpr const char* kCredits[BLInfoPanel::kLibraries] = {
    "SDL2 \xB7 zlib",      "libsndfile \xB7 LGPL-2.1+", "libsamplerate \xB7 BSD-2-Clause",
    "giflib \xB7 MIT",     "libpng \xB7 libpng-2.0",    "Rubber Band \xB7 GPL-2+",
    "libebur128 \xB7 MIT", "%s \xB7 Bitstream Vera",
};

std::string message(int16_t n)
{
    return blIntl.message(n).c_str();
}

// A number with one decimal, written with the language's decimal mark.
std::string oneDecimal(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    std::string out = text;
    const std::string mark = message(kMsgDecimalMark);
    if (const size_t dot = out.find('.'); dot != std::string::npos && !mark.empty())
        out.replace(dot, 1, mark);
    return out;
}

}  // namespace

void BLInfoPanel::setText(int16_t item, const char* text)
{
    kelPanelControl* c = control(item);
    if (!c) return;
    char current[256] = {};
    c->getValue(current);
    if (std::strcmp(current, text) == 0) return;
    char copy[256];
    std::snprintf(copy, sizeof copy, "%s", text);
    c->setValue(copy);
}

void BLInfoPanel::connected()
{
    for (int16_t i = kItemVersion; i < kItemFirstLibrary + kLibraries; ++i)
        if (kelPanelControl* c = control(i)) {
            const bool value = i >= kItemFirstFigure && i < kItemFirstFigure + kFigures;
            c->setValue(kelPropTextAlign, static_cast<int16_t>(value ? 2 : 0));
            c->setValue(kelPropFit, int16_t{1});
        }
    if (kelPanelControl* c = control(kItemSound)) {
        c->setValue(kelPropTextAlign, int16_t{0});
        c->setValue(kelPropFit, int16_t{1});
    }
    setText(kItemVersion, (message(kMsgVersion) + " " + BEATLOOM_VERSION).c_str());
    setText(kItemTagline, message(kMsgTagline).c_str());
    for (int16_t k = 0; k < kFigures; ++k)
        setText(static_cast<int16_t>(kItemFirstFigureName + k),
                message(static_cast<int16_t>(kMsgFirstFigure + k)).c_str());
    for (int16_t k = 0; k < kKeys; ++k)
        setText(static_cast<int16_t>(kItemFirstKey + k),
                message(static_cast<int16_t>(kMsgFirstKey + k)).c_str());
    for (int16_t k = 0; k < kLibraries; ++k) {
        char line[128];
        std::snprintf(line, sizeof line, "%s", kCredits[k]);
        if (std::strstr(kCredits[k], "%s"))
            std::snprintf(line, sizeof line, "%s \xB7 Bitstream Vera", message(kMsgFonts).c_str());
        setText(static_cast<int16_t>(kItemFirstLibrary + k), line);
    }
}

void BLInfoPanel::beforeShow()
{
    // Counted afresh each time: songs come and go while the program runs.
    figures.start(libraryFolder);
    counting_ = true;
    for (int16_t k = 0; k < kFigures; ++k)
        setText(static_cast<int16_t>(kItemFirstFigure + k), message(kMsgCounting).c_str());
    // A message with names comes in UTF-8; the skin font draws the 8-bit set.
    std::string sound;
    if (BLEngine::outputIsJack()) {
        const std::string rate = std::to_string(BLEngine::jackRate());
        const std::string period = std::to_string(BLEngine::jackPeriodFrames());
        sound = KEL_NameToLatin1(
            blIntl.messageWithNames(kMsgSoundJack, {std::string_view(rate), std::string_view(period)}));
    } else {
        // The card chosen, which the next Play opens.
        const std::string card = gep && !gep->outputCard().empty() ? KEL_NameToLatin1(gep->outputCard())
                                                                   : message(kMsgDefaultCard);
        const std::string frames = std::to_string(gep ? gep->outputFrames() : kBLOutputFramesDefault);
        sound = KEL_NameToLatin1(
            blIntl.messageWithNames(kMsgSound, {std::string_view(card), std::string_view(frames)}));
    }
    // The port OSC listens on, which the preferences choose.
    const std::string osc = std::to_string(BLOsc_Port());
    sound +=
        "  \xB7  " + (BLOsc_Port() > 0
                          ? KEL_NameToLatin1(blIntl.messageWithNames(kMsgOscPort, {std::string_view(osc)}))
                          : message(kMsgOscOff));
    setText(kItemSound, sound.c_str());
}

void BLInfoPanel::afterHide()
{
    counting_ = false;
}

void BLInfoPanel::onItem()
{
    if (hitItem == kItemClose && !liveChange) PWScreen.hide(screenIndex);
}

void BLInfoPanel::onIdle()
{
    if (!counting_ || !visible) return;
    if (!figures.step(kFilesPerPass)) return;
    counting_ = false;
    showFigures();
}

void BLInfoPanel::formatBytes(int64_t bytes, char* out, size_t size)
{
    // kB below a megabyte, MB below a gigabyte, then GB.
    const double kb = static_cast<double>(bytes) / 1024.0;
    std::string text;
    if (kb < 1024.0)
        text = std::to_string(static_cast<long long>(std::llround(kb))) + " " + message(kMsgKilobytes);
    else if (kb < 1024.0 * 1024.0)
        text = oneDecimal(kb / 1024.0) + " " + message(kMsgKilobytes + 1);
    else
        text = oneDecimal(kb / (1024.0 * 1024.0)) + " " + message(kMsgKilobytes + 2);
    std::snprintf(out, size, "%s", text.c_str());
}

void BLInfoPanel::showFigures()
{
    char text[64];
    std::snprintf(text, sizeof text, "%d", figures.songs);
    setText(kItemFirstFigure, text);
    std::snprintf(text, sizeof text, "%d", figures.loops);
    setText(kItemFirstFigure + 1, text);
    setText(kItemFirstFigure + 2, oneDecimal(figures.audioSeconds / 60.0).c_str());
    std::snprintf(text, sizeof text, "%d", figures.synthSounds);
    setText(kItemFirstFigure + 3, text);
    formatBytes(figures.bytes, text, sizeof text);
    setText(kItemFirstFigure + 4, text);
}
