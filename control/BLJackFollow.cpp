#include "control/BLJackFollow.h"

#include <cmath>
#include <cstdio>

#include "audio/BLEngine.h"
#include "control/BLPlayer.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"

namespace {

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

}  // namespace

void BLJackFollow::idle(BLPlayer& player)
{
    const bool on = blPrefs.jackTransport != 0 && BLEngine::outputIsJack();
    const plat::JackTransport t = BLEngine::jackTransport();
    if (on != following) {
        following = on;
        note(on ? "JACK transport: followed" : "JACK transport: not followed");
        // A transport already rolling when following begins starts the groove.
        wasRolling = false;
    }
    if (!on) return;
    const double now = plat::monotonicMs();
    const double rolledTo = lastFrame + (now - lastAt) * BLEngine::jackRate() / 1000.0;
    // Back, or further on than rolling could have brought it (a server that
    // fell behind only trails). A move usually passes through JACK's
    // "starting", a stop to this follower; this catches one too short to see.
    const bool moved = t.rolling && wasRolling && player.playing &&
                       (t.frame < lastFrame || t.frame > rolledTo + BLEngine::jackRate() / 4.0);
    if (moved) player.stop();
    if (t.rolling && (!wasRolling || moved) && !player.playing && gep) {
        const double beats = BLEngine::jackBeats(t, player.bpm);
        gep->placeStart(beats);
        player.play();
        char line[160];
        std::snprintf(line, sizeof line,
                      "JACK transport: %s at frame %u, beat %.3f: the groove starts there, at its beat %.3f",
                      moved ? "moved" : "rolling", t.frame, beats,
                      std::fmod(beats, static_cast<double>(kCycleBeats)));
        note(line);
    } else if (!t.rolling && wasRolling && player.playing) {
        player.stop();
        note("JACK transport: stopped at frame " + std::to_string(t.frame) + ": the groove stops");
    }
    wasRolling = t.rolling;
    lastFrame = t.frame;
    lastAt = now;
    int64_t grooveFrame = 0, transportFrame = 0;
    if (BLEngine::takePlacement(grooveFrame, transportFrame))
        note("JACK transport: the groove's frame " + std::to_string(grooveFrame) +
             " is heard at the transport's frame " + std::to_string(transportFrame));
}
