#include "audio/OVTrack.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/KeyLock.h"
#include "audio/LoopCache.h"
#include "audio/OVMixer.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"

std::atomic<int64_t> TimeLine{0};
std::atomic<int32_t> SAMPFREQ{22050};
std::atomic<int32_t> BLOCKLEN{8192};
std::atomic<int32_t> BPM{0};
std::atomic<int32_t> ResampledBPM{0};
std::atomic<int32_t> PlayingStatus{0};
std::atomic<int32_t> dowldproc{0};
std::atomic<int32_t> ExitBackThread{0};
std::atomic<uint32_t> LoaderEpoch{0};

TRACK Tracks[kTrackCount];
int16_t* convBuf = nullptr;

ttPeak ttTrackPeaks[2 * kTrackCount];
ttQPeaksRec ttTrackPeaksQueue[16];
int16_t ttQWPos = 0;
int16_t ttQRPos = 1;
std::atomic<int16_t> ttDistance{8};

namespace {

using Hold = std::unique_lock<std::mutex>;

// Frames of one file read: the loader leaves the lock for each, and copies
// what it read into the ring under it.
constexpr int kReadChunk = 16384;
int16_t loaderScratch[2 * kReadChunk];

// Main thread only.
int64_t timeLineStart = 0;
int startHolds = 0;
bool startPending = false;

// Who reads, into what, and since when: work that began before the loader
// was given up on (LoaderEpoch moved on) is dropped.
struct Reader {
    int16_t* scratch;
    int chunk;
    uint32_t epoch;
    bool loader;
};

bool current(const Reader& r)
{
    return LoaderEpoch.load(std::memory_order_acquire) == r.epoch;
}

void setFileName(TRACK* t, const char* path)
{
    std::strncpy(t->fileName, path, sizeof t->fileName - 1);
    t->fileName[sizeof t->fileName - 1] = '\0';
}

// Period of a loop in frames (0 for none).
int64_t periodOf(int loop)
{
    char path[kVTrackPathSize];
    int32_t beats = 0;
    int32_t extra = 0;
    if (loop < 0 || !VTrackLoop(loop, path, &beats, &extra)) return 0;
    return int64_t{beats + extra} * BPM.load();
}

std::atomic<int32_t> launchBeats{kCycleBeats};
// The boundary the changes of the current hold land on; main thread only.
int64_t holdLaunch = kNever;

// Where the period of `loop` that holds timeline frame p starts: a loop
// brought in on a boundary inside its period starts at the matching point.
int64_t periodStartAt(int loop, int64_t p)
{
    const int64_t period = periodOf(loop);
    return period > 0 ? p / period * period : p;
}

// Takes the track's file out under the lock and closes it outside; the
// lock is held again on return.
void closeTrackFile(TRACK* t, Hold& hold)
{
    t->image = nullptr;
    void* f = t->file;
    t->file = F_NOFILE;
    if (f == F_NOFILE) return;
    hold.unlock();
    F_close(f);
    hold.lock();
}

// Reads `frames` frames of a file into dest as stereo. What a short file
// does not deliver is silence.
void waveRead(void* file, int channels, int16_t* dest, int frames)
{
    if (channels == 2) {
        const int want = frames * 4;
        int got = F_read(file, dest, want);
        got -= got % 4;
        std::memset(reinterpret_cast<char*>(dest) + got, 0, static_cast<size_t>(want - got));
        return;
    }
    const int got = F_read(file, dest, frames * 2) / 2;
    // Spread in place, from the end, so that no sample is overwritten unread.
    for (int i = got - 1; i >= 0; --i) dest[2 * i] = dest[2 * i + 1] = dest[i];
    std::memset(dest + 2 * got, 0, static_cast<size_t>(frames - got) * 4);
}

void copyIntoRing(TRACK* t, int64_t at, const int16_t* from, int frames)
{
    const int idx = static_cast<int>(at % t->ringLen);
    const int first = std::min(frames, t->ringLen - idx);
    std::memcpy(t->ring + 2 * idx, from, static_cast<size_t>(first) * 4);
    if (frames > first) std::memcpy(t->ring, from + 2 * first, static_cast<size_t>(frames - first) * 4);
}

void writeSilence(TRACK* t, int64_t at, int frames)
{
    const int idx = static_cast<int>(at % t->ringLen);
    const int first = std::min(frames, t->ringLen - idx);
    std::memset(t->ring + 2 * idx, 0, static_cast<size_t>(first) * 4);
    if (frames > first) std::memset(t->ring, 0, static_cast<size_t>(frames - first) * 4);
}

enum OpenResult { kOpened, kRefused, kMovedOn, kChanged, kDropped };

// What a start found, made the track's: nothing to play (refused), a pass
// already over (wait for the next), or a source positioned `late` frames in.
OpenResult settleStart(TRACK* t, bool found, bool wholeBefore, int64_t start, bool switching)
{
    if (!found) {
        t->nextStart = kNever;
        t->fileName[0] = '\0';
        t->idle = 1;
        return kRefused;
    }
    t->prevStart = start;
    if (switching) t->schedLoop = -2;
    if (wholeBefore) {
        // Nothing of this pass is left to play: wait for the next pass
        // instead of opening the source again and again until then.
        t->idle = 1;
        GestioneLooping(t);
        return kMovedOn;
    }
    t->nextStart = kNever;
    t->fileName[0] = '\0';
    t->idle = 0;
    return kOpened;
}

// Opens fileName for the start at nextStart, positioned at writePos. Called
// with the track's lock held; the lock is left while the file is opened.
OpenResult OpenNewFile(TRACK* t, Hold& hold, const Reader& r)
{
    closeTrackFile(t, hold);
    if (!current(r)) return kDropped;
    char name[sizeof t->fileName];
    std::memcpy(name, t->fileName, sizeof name);
    // A scheduled switch starts the new loop at the boundary, at the point
    // of its period the timeline has reached there.
    const bool switching = t->schedLoop >= 0 && t->nextStart >= t->schedTime;
    const int64_t start = switching ? periodStartAt(t->curLoop, t->nextStart) : t->nextStart;
    const int64_t at = t->writePos;
    const int64_t late = at - start;
    if (LoopCache_Resident()) {
        // From memory, without leaving the lock: no disk read here, ever.
        const LoopImage* image = name[0] ? LoopCache_Image(t->curLoop) : nullptr;
        const bool wholeBefore = image && start + image->frames <= at;
        if (image && !wholeBefore) {
            t->image = image;
            t->imageAt = late > 0 ? late : 0;
            t->channels = image->channels;
            t->framesLeft = static_cast<int32_t>(image->frames - t->imageAt);
        }
        return settleStart(t, image != nullptr, wholeBefore, start, switching);
    }
    const uint32_t gen = t->steerGen;
    hold.unlock();

    int channels = 0;
    int frames = 0;
    void* file = name[0] ? OpenWave(name, &channels, &frames) : F_NOFILE;
    const bool wholeBefore = file != F_NOFILE && start + frames <= at;
    if (wholeBefore) {
        F_close(file);
    } else if (file != F_NOFILE && late > 0) {
        SeekWave(file, static_cast<int>(late * channels * 2));
    }

    hold.lock();
    const bool dropped = !current(r);
    if (dropped || t->steerGen != gen) {
        // Chosen again while the file was opening, or given up: the new
        // choice decides.
        if (file != F_NOFILE && !wholeBefore) {
            hold.unlock();
            F_close(file);
            hold.lock();
        }
        return dropped ? kDropped : kChanged;
    }
    if (file != F_NOFILE && !wholeBefore) {
        t->file = file;
        t->channels = channels;
        t->framesLeft = late > 0 ? static_cast<int32_t>(frames - late) : frames;
    }
    return settleStart(t, file != F_NOFILE, wholeBefore, start, switching);
}

// Reads the next n frames of the track's open file into the ring at
// writePos. False when the work was given up meanwhile.
bool readStep(TRACK* t, Hold& hold, const Reader& r, int n)
{
    if (const LoopImage* image = t->image) {
        // Memory: copied into the ring as the file would be read, under the lock.
        int16_t* ring = t->ring;
        const int have = static_cast<int>(std::clamp<int64_t>(image->frames - t->imageAt, 0, n));
        const int16_t* from = image->samples.get() + (have > 0 ? t->imageAt * image->channels : 0);
        for (int k = 0; k < n; ++k) {
            const int idx = static_cast<int>((t->writePos + k) % t->ringLen);
            int16_t left = 0;
            int16_t right = 0;
            if (k < have) {
                left = from[k * image->channels];
                right = image->channels == 2 ? from[2 * k + 1] : left;
            }
            ring[2 * idx] = left;
            ring[2 * idx + 1] = right;
        }
        t->imageAt += n;
        t->writePos += n;
        t->framesLeft -= n;
        return true;
    }
    void* f = t->file;
    const int channels = t->channels;
    const int64_t at = t->writePos;
    if (r.loader) t->loaderFile = f;
    hold.unlock();
    waveRead(f, channels, r.scratch, n);
    hold.lock();
    if (r.loader) t->loaderFile = nullptr;
    if (!current(r)) {
        // The track was torn down without this loader: the file is its own to close.
        if (t->file == f) t->file = F_NOFILE;
        hold.unlock();
        F_close(f);
        hold.lock();
        return false;
    }
    copyIntoRing(t, at, r.scratch, n);
    t->writePos = at + n;  // only the loader moves writePos while playing
    t->framesLeft -= n;
    return true;
}

bool readFromFile(TRACK* t, int frames, const Reader& r)
{
    bool worked = false;
    Hold hold(t->lock);
    if (!t->ring || !current(r)) return false;
    const int64_t now = TimeLine.load(std::memory_order_acquire);
    frames = std::min(frames, t->ringLen);

    if (!t->idle && t->writePos < now) {
        // The ring ran dry under the mixer: take the loop up again at the
        // play position, at the matching point of its period.
        t->idle = 1;
        t->writePos = now;
        t->prevStart = -1;
        GestioneLooping(t);
        closeTrackFile(t, hold);
        if (!current(r)) return true;
        worked = true;
    }

    int remaining = frames;
    int stalls = 0;  // steps that moved nothing; a handful means a cycle
    while (remaining > 0 && stalls < 16) {
        int n = remaining;
        if (t->idle) {
            if (t->writePos < now) t->writePos = now;
            if (t->writePos + n <= t->nextStart) break;
            n = static_cast<int>(t->nextStart - t->writePos);
            if (n > 0) {
                writeSilence(t, t->writePos, n);
                t->writePos += n;
            } else {
                n = 0;
            }
            t->framesLeft = 0;
            worked = true;
            const OpenResult opened = OpenNewFile(t, hold, r);
            if (opened == kDropped) return true;
            if (opened == kRefused) break;
        } else {
            n = static_cast<int>(
                std::min<int64_t>({n, t->framesLeft, t->nextStart - t->writePos, int64_t{r.chunk}}));
            if (n > 0) {
                if (!readStep(t, hold, r, n)) return true;
                worked = true;
            } else {
                n = 0;
            }
            if (t->framesLeft <= 0 || t->writePos >= t->nextStart) {
                t->idle = 1;
                closeTrackFile(t, hold);
                if (!current(r)) return true;
            }
        }
        stalls = n > 0 ? 0 : stalls + 1;
        remaining -= n;
        GestioneLooping(t);
    }
    return worked;
}

void resetTrack(TRACK* t, int16_t* ring, int ringFrames)
{
    t->volume = 127;
    t->pan = 63;
    t->channels = 1;
    t->ring = ring;
    t->writePos = timeLineStart;
    t->ringLen = ringFrames;
    t->idle = 1;
    t->framesLeft = 0;
    t->file = F_NOFILE;
    t->nextStart = kNever;
    t->prevStart = -1;
    t->fileName[0] = '\0';
    t->syncVolume = -1;
    t->syncPan = -1;
    t->syncTime = kNever;
    t->schedLoop = -2;
    t->schedTime = 0;
    t->curLoop = -1;
    ++t->steerGen;
}

// Back to the start of the timeline with the chosen loops (after an output
// that would not start), so that the next attempt plays them all.
void rewindTracks()
{
    for (TRACK& t : Tracks) {
        Hold hold(t.lock);
        closeTrackFile(&t, hold);
        t.writePos = timeLineStart;
        t.idle = 1;
        t.framesLeft = 0;
        t.prevStart = -1;
        ++t.steerGen;
        GestioneLooping(&t);
    }
}

// Opens the output with every track chosen so far: their rings are filled
// first, so the priming already holds them all.
int startOutput()
{
    startPending = false;
    InitResampler(BLOCKLEN.load());
    InitialTrackOpen();
    if (wDBStart() != 0) {
        CloseWaveFiles();
        rewindTracks();
        return 1;
    }
    ExitBackThread.store(0);
    dowldproc.store(1);
    PlayingStatus.store(2);
    LoaderWake();
    return 0;
}

}  // namespace

void SetTimeLineStart(int64_t frame)
{
    timeLineStart = std::max<int64_t>(frame, 0) / kMixBlock * kMixBlock;
}

int64_t TimeLineStartFrame()
{
    return timeLineStart;
}

void TrackStartHold()
{
    ++startHolds;
}

int TrackStartRelease()
{
    if (startHolds > 0) --startHolds;
    if (startHolds == 0) holdLaunch = kNever;
    if (startHolds > 0 || !startPending) return 0;
    startPending = false;
    return PlayingStatus.load() == 1 ? startOutput() : 0;
}

void TrackStartWanted()
{
    if (startHolds > 0) startPending = true;
}

int InitTracks(int ringFrames)
{
    if (ringFrames <= 0 || ringFrames % kMixBlock != 0) return 1;
    FreeTracks();
    int16_t* rings[kTrackCount] = {};
    auto* conv = static_cast<int16_t*>(M_alloc(ringFrames * 4));
    bool ok = conv != nullptr;
    for (int i = 0; ok && i < kTrackCount; ++i) {
        rings[i] = static_cast<int16_t*>(M_alloc(ringFrames * 4));
        ok = rings[i] != nullptr;
    }
    if (!ok) {
        for (int16_t* r : rings) M_free(r);
        M_free(conv);
        return 1;
    }
    convBuf = conv;
    startPending = false;
    for (int i = 0; i < kTrackCount; ++i) {
        Hold hold(Tracks[i].lock);
        resetTrack(&Tracks[i], rings[i], ringFrames);
    }
    return 0;
}

void FreeTracks()
{
    for (TRACK& t : Tracks) {
        Hold hold(t.lock);
        M_free(t.ring);
        t.ring = nullptr;
    }
    M_free(convBuf);
    convBuf = nullptr;
}

void InitialTrackOpen()
{
    const Reader main{convBuf, kReadChunk, LoaderEpoch.load(), false};
    for (TRACK& t : Tracks) {
        int64_t start;
        int ringLen;
        {
            Hold hold(t.lock);
            if (!t.ring || !convBuf) continue;
            start = t.nextStart;
            ringLen = t.ringLen;
        }
        Reader r = main;
        r.chunk = std::min(kReadChunk, ringLen);
        // Loops in memory are pulled as mixed; what is read ahead here moves
        // the next launch boundary past it. A playback started into the song
        // holds what one from the top holds there, so that a change waits
        // for the same boundary in both.
        const int frames =
            LoopCache_Resident() ? static_cast<int>(std::max<int64_t>(ringLen - timeLineStart, 0)) : ringLen;
        if (start != kNever && frames > 0) readFromFile(&t, frames, r);
    }
}

void CloseWaveFiles()
{
    for (TRACK& t : Tracks) {
        Hold hold(t.lock);
        if (t.file != F_NOFILE && t.file == t.loaderFile) {
            t.file = F_NOFILE;  // a loader given up on still reads it: its to close
            continue;
        }
        closeTrackFile(&t, hold);
    }
}

void SetLaunchGrid(int beats)
{
    const bool known = beats == 1 || beats == 4 || beats == 8 || beats == 16 || beats == kCycleBeats;
    launchBeats.store(known ? beats : kCycleBeats);
}

int LaunchGridBeats()
{
    return launchBeats.load();
}

int64_t NextLaunchTime()
{
    const int64_t grid = int64_t{launchBeats.load()} * BPM.load();
    if (grid <= 0) return kNever;
    // Past the block being mixed, and past what the rings already hold:
    // the mixer reads rings as they are.
    int64_t floor = TimeLine.load(std::memory_order_acquire) + kMixBlock;
    for (TRACK& t : Tracks) {
        Hold hold(t.lock);
        if (t.ring) floor = std::max(floor, t.writePos);
    }
    if (startHolds > 0 && holdLaunch != kNever && holdLaunch >= floor) return holdLaunch;
    const int64_t at = (floor + grid - 1) / grid * grid;
    if (startHolds > 0) holdLaunch = at;
    return at;
}

int64_t TrackChangeTime(int track)
{
    if (track < 1 || track > kTrackCount) return kNever;
    TRACK& t = Tracks[track - 1];
    Hold hold(t.lock);
    int64_t at = t.schedLoop != -2 ? t.schedTime : kNever;
    if (t.syncTime != kNever) at = std::min(at, t.syncTime);
    return at;
}

void SetPlaySync(TRACK* t, int loop, int64_t at)
{
    ++t->steerGen;
    t->schedLoop = loop;
    if (loop <= -2) return;
    t->schedTime = at;
    if (!t->idle) return;
    t->curLoop = loop;
    char path[kVTrackPathSize];
    int32_t beats = 0;
    int32_t extra = 0;
    if (loop >= 0 && VTrackLoop(loop, path, &beats, &extra)) {
        setFileName(t, path);
        t->nextStart = t->schedTime;
    } else {
        t->fileName[0] = '\0';
        t->nextStart = kNever;
    }
}

void GestioneLooping(TRACK* t)
{
    char path[kVTrackPathSize];
    int32_t beats = 0;
    int32_t extra = 0;
    if (t->schedLoop != -2) {
        const int64_t len = periodOf(t->curLoop);
        if (t->writePos > t->schedTime - len && t->schedLoop >= 0) {
            t->curLoop = t->schedLoop;
            VTrackLoop(t->curLoop, path, &beats, &extra);
            setFileName(t, path);
            t->nextStart = t->schedTime;
        }
        // Up to the boundary itself, where the new loop's file opens.
        if (t->curLoop == t->schedLoop && t->writePos <= t->schedTime && t->schedLoop != -1) return;
    }
    if (t->curLoop == -1 || !VTrackLoop(t->curLoop, path, &beats, &extra)) {
        t->nextStart = kNever;
        t->fileName[0] = '\0';
        return;
    }
    setFileName(t, path);
    const int64_t bpm = BPM.load();
    const int64_t periodBeats = std::max(beats + extra, 1);
    if (bpm <= 0) {
        t->nextStart = kNever;
        return;
    }
    const int64_t k = t->writePos / (bpm * std::max(beats, 1));
    int64_t next = periodBeats * k * bpm;
    if (next == t->prevStart) next = periodBeats * (k + 1) * bpm;
    t->nextStart = next;
}

bool ReadFromFile(TRACK* t, int frames)
{
    int ringLen;
    {
        Hold hold(t->lock);
        ringLen = t->ringLen;
    }
    if (!convBuf) return false;
    return readFromFile(t, frames, Reader{convBuf, std::min(kReadChunk, ringLen), LoaderEpoch.load(), false});
}

void TrackPull(int i, int64_t upTo)
{
    static int16_t pullScratch[2 * kMixBlock];
    TRACK* t = &Tracks[i];
    int64_t frames;
    {
        Hold hold(t->lock);
        if (!t->ring) return;
        frames = upTo - std::max(t->writePos, TimeLine.load(std::memory_order_relaxed));
    }
    if (frames > 0)
        readFromFile(t, static_cast<int>(frames), Reader{pullScratch, kMixBlock, LoaderEpoch.load(), false});
}

bool LoaderServiceTrack(int i)
{
    if (LoopCache_Resident()) return false;  // the mixer takes what it needs itself
    TRACK* t = &Tracks[i];
    const Reader r{loaderScratch, kReadChunk, LoaderEpoch.load(std::memory_order_acquire), true};
    int64_t ahead;
    int ringLen;
    {
        Hold hold(t->lock);
        if (!t->ring || !current(r)) return false;
        if (t->idle && t->file != F_NOFILE) {
            // A track silenced from the main thread leaves its file to the loader.
            closeTrackFile(t, hold);
            return true;
        }
        ahead = t->writePos - TimeLine.load(std::memory_order_acquire);
        ringLen = t->ringLen;
    }
    if (ahead > ringLen / 2) return false;
    // Filled up to a ring ahead of the mixer. A track that lags is taken up
    // again at once, at the play position (readFromFile).
    return readFromFile(t, ahead > 0 ? static_cast<int>(ringLen - ahead) : ringLen, r);
}

int TrackPlay(int track, int loop)
{
    return TrackPlay2(track, loop, 0);
}

int TrackPlaySync(int track, int loop)
{
    return TrackPlay2(track, loop, 1);
}

int TrackPlay2(int track, int loop, int sync)
{
    if (track < 1 || track > kTrackCount) return 1;
    TRACK* t = &Tracks[track - 1];
    const int L = loop - 1;
    char path[kVTrackPathSize];
    int32_t beats = 0;
    int32_t extra = 0;

    const int64_t launch = sync && PlayingStatus.load() == 2 ? NextLaunchTime() : kNever;
    if (!VTrackLoop(L, path, &beats, &extra)) {
        Hold hold(t->lock);
        if (sync) {
            // A silent track with nothing coming has nothing to wait for.
            if (t->curLoop == -1 && t->idle && t->schedLoop == -2) return 0;
            SetPlaySync(t, -1, launch);
            return 0;
        }
        if (t->curLoop == -1 && t->idle) return 0;  // already silent
        // Silence now, a track waiting for its next start included, and
        // forget any change still scheduled: the latest choice wins.
        ++t->steerGen;
        t->idle = 1;
        t->curLoop = -1;
        SetPlaySync(t, -2);
        GestioneLooping(t);
        LoaderWake();
        return 0;
    }

    if (PlayingStatus.load() == 1) {
        // The first loops of a playback: from the start of the timeline,
        // all of them in the output's first frame.
        {
            Hold hold(t->lock);
            TimeLine.store(timeLineStart);
            ++t->steerGen;
            t->writePos = timeLineStart;
            t->nextStart = kNever;
            t->fileName[0] = '\0';
            t->curLoop = L;
            t->prevStart = -1;
            GestioneLooping(t);
        }
        startPending = true;
        if (startHolds > 0) return 0;
        return startOutput();
    }

    if (PlayingStatus.load() == 2) {
        Hold hold(t->lock);
        if (L == t->curLoop) {
            // Chosen again while another change waits (a mute and its
            // unmute within one cycle): the waiting change is dropped.
            if (t->schedLoop != -2) SetPlaySync(t, -2);
            return 0;
        }
        if (sync) {
            SetPlaySync(t, L, launch);
        } else {
            ++t->steerGen;
            t->nextStart = kNever;
            t->fileName[0] = '\0';
            t->curLoop = L;
            t->prevStart = -1;
            SetPlaySync(t, -2);
            GestioneLooping(t);
        }
        LoaderWake();
    }
    return 0;
}

int GetCurrentBeat()
{
    if (PlayingStatus.load() != 2) return -1;
    const int64_t bpm = BPM.load();
    if (bpm <= 0) return -1;
    return static_cast<int>((KeyLock_BeatTimeLine() - wDBDelayFrames()) / bpm % kCycleBeats);
}

void LGetTrackPeaks(short track, ttPeak** left, ttPeak** right)
{
    if (track < 0 || track >= kTrackCount) return;
    if (left) *left = &ttTrackPeaks[track];
    if (right) *right = &ttTrackPeaks[track + kTrackCount];
}
