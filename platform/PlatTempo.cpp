#include "platform/PlatTempo.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <vector>

namespace plat {

double soundTempo(const float* mono, int64_t frames, int rate)
{
    constexpr uint_t kWindow = 1024, kHop = 512;
    if (!mono || frames < kWindow || rate <= 0) return 0.0;
    aubio_tempo_t* tracker = new_aubio_tempo("default", kWindow, kHop, static_cast<uint_t>(rate));
    fvec_t* in = new_fvec(kHop);
    fvec_t* beat = new_fvec(2);
    if (!tracker || !in || !beat) {
        if (tracker) del_aubio_tempo(tracker);
        if (in) del_fvec(in);
        if (beat) del_fvec(beat);
        return 0.0;
    }
    // The tracker's estimate once it has heard the loop four times.
    const int64_t total = 4 * frames;
    int beats = 0;
    for (int64_t at = 0; at + kHop <= total; at += kHop) {
        for (uint_t i = 0; i < kHop; ++i) in->data[i] = mono[(at + i) % frames];
        aubio_tempo_do(tracker, in, beat);
        beats += beat->data[0] != 0;
    }
    const double bpm =
        beats >= 4 && aubio_tempo_get_confidence(tracker) > 0 ? aubio_tempo_get_bpm(tracker) : 0.0;
    del_aubio_tempo(tracker);
    del_fvec(in);
    del_fvec(beat);
    return bpm;
}

}  // namespace plat
