#include "audio/sndInRec.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/AudioFormat.h"
#include "audio/JackInput.h"
#include "audio/OVTrack.h"
#include "audio/Vetro.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "platform/PlatAudio.h"

namespace {

// ---------------------------------------------------------------------------
// The sound card's capture device as a source.

class WaveInCard : public WaveInSource {
public:
    bool open(int rate, int channels, int bufferFrames) override
    {
        return in_.open(rate, channels, bufferFrames);
    }
    void close() override { in_.close(); }
    bool start() override
    {
        in_.resume();
        return in_.isOpen();
    }
    void stop() override { in_.stop(); }
    bool take(void* dest, uint32_t bytes) override
    {
        if (in_.availableBytes() >= bytes) return in_.take(dest, bytes) == bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
    }
    bool exists() override { return plat::AudioInput::deviceExists(); }
    int problem() const override { return static_cast<int>(in_.problem()); }
    std::string problemText() const override { return in_.problemText(); }

private:
    plat::AudioInput in_;
};

WaveInCard cardSource;
WaveInSource* chosenSource = nullptr;

// The sound card's, or JACK's inputs while the sound plays through JACK.
WaveInSource& source()
{
    if (chosenSource) return *chosenSource;
    return JackInput_InUse() ? *JackInput_Source() : cardSource;
}

// Why the last recording would not start (main thread only).
int recordProblem = 0;
std::string recordProblemText;

// ---------------------------------------------------------------------------
// The wave-input device: headers queued in order, filled by the capture
// thread from the source and handed to the callback.

constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;
constexpr int kBufferBytes = kWaveInBufferFrames * 4;

// The platform's header record.
struct WaveInHeader {
    char* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
};

class WaveInDevice {
public:
    bool open(WaveInSource* from)
    {
        if (!from->open(44100, 2, kWaveInBufferFrames)) return false;
        src = from;
        return true;
    }

    bool start()
    {
        if (!src || !src->start()) return false;
        quit = false;
        thread = std::thread([this] { body(); });
        return true;
    }

    // Every queued buffer comes back empty; nothing is captured until the next start.
    void reset()
    {
        {
            std::lock_guard<std::mutex> hold(mutex);
            quit = true;
        }
        wake.notify_all();
        if (thread.joinable()) thread.join();
        if (src) src->stop();
        for (;;) {
            WaveInHeader* h = nullptr;
            {
                std::lock_guard<std::mutex> hold(mutex);
                if (count == 0) break;
                h = popFront();
            }
            h->dwBytesRecorded = 0;
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
            waveInCallback(this, WIM_DATA, 0, reinterpret_cast<uintptr_t>(h), 0);
        }
    }

    void close()
    {
        if (src) src->close();
        src = nullptr;
    }

    // 0, or -1 when the buffer is not prepared or the device is not taking buffers.
    int add(WaveInHeader* h)
    {
        if (!h || !(h->dwFlags & WHDR_PREPARED)) return -1;
        {
            std::lock_guard<std::mutex> hold(mutex);
            if (quit || count >= kWaveInBuffers) return -1;
            h->dwFlags = (h->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
            h->dwBytesRecorded = 0;
            queue[(first + count) % kWaveInBuffers] = h;
            ++count;
        }
        wake.notify_all();
        return 0;
    }

private:
    WaveInHeader* popFront()
    {
        WaveInHeader* h = queue[first];
        first = (first + 1) % kWaveInBuffers;
        --count;
        return h;
    }

    void body()
    {
        for (;;) {
            WaveInHeader* h = nullptr;
            {
                std::unique_lock<std::mutex> hold(mutex);
                wake.wait_for(hold, std::chrono::milliseconds(20), [this] { return quit || count > 0; });
                if (quit) return;
                if (count == 0) continue;
                h = queue[first];
            }
            // Only the capture thread fills the front buffer; the main thread
            // takes buffers out only after joining it.
            if (!src->take(h->lpData, h->dwBufferLength)) continue;
            {
                std::lock_guard<std::mutex> hold(mutex);
                popFront();
            }
            h->dwBytesRecorded = h->dwBufferLength;
            h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
            waveInCallback(this, WIM_DATA, 0, reinterpret_cast<uintptr_t>(h), 0);
        }
    }

    WaveInSource* src = nullptr;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
    WaveInHeader* queue[kWaveInBuffers] = {};
    int first = 0;
    int count = 0;
};

// ---------------------------------------------------------------------------
// Wave-input state.

WaveInDevice waveIn;
WaveInDevice* hWaveIn = nullptr;
WaveInHeader* lpWaveInHdr[kWaveInBuffers] = {};
char* lpInBuffer[kWaveInBuffers] = {};
int32_t Initialized = 0;
int32_t Recording = 0;
// The capture thread's; the main thread reads RecordedSamples and writes
// TotalSamples. The copy lock lets a stop wait for a copy in progress.
std::atomic<char*> DataBuffer{nullptr};
std::atomic<int32_t> RecordedSamples{0};
std::atomic<int32_t> TotalSamples{0};
std::mutex copyLock;

void freeBlocks()
{
    for (int i = 0; i < kWaveInBuffers; ++i) {
        M_free(lpWaveInHdr[i]);
        M_free(lpInBuffer[i]);
        lpWaveInHdr[i] = nullptr;
        lpInBuffer[i] = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Facade state.

constexpr int64_t kDefaultBudget = int64_t{300} * 44100 * 4;  // five minutes of stereo
int64_t budget = kDefaultBudget;

uint8_t ulrec_on = 0;
// Bars the next recording takes in time (0: as long as it is let run), and
// whether the one running does.
int recordBars = 0;
bool inTime = false;
uint32_t recdbytesatStop = 0;
int32_t capacity = 0;
UserLoopLoadReport lastLoad;

void* allocBlock(int64_t bytes)
{
    if (bytes <= 0 || bytes > budget || bytes > INT32_MAX) return nullptr;
    return M_alloc(static_cast<int>(bytes));
}

// A running recording ends and becomes the loop (the capture thread has
// ended before anyone else touches its block).
void endRecording()
{
    UserLoop_RecordReset();
}

}  // namespace

void WAVEIN_SetSource(WaveInSource* s)
{
    chosenSource = s;
}

// ---------------------------------------------------------------------------

int CTWAVEInOpen(unsigned int)
{
    if (Initialized) return 0;
    for (int i = 0; i < kWaveInBuffers; ++i) {
        lpWaveInHdr[i] = static_cast<WaveInHeader*>(M_alloc(sizeof(WaveInHeader)));
        lpInBuffer[i] = static_cast<char*>(M_alloc(kBufferBytes));
        if (!lpWaveInHdr[i] || !lpInBuffer[i]) {
            freeBlocks();
            return -1;
        }
        lpWaveInHdr[i]->lpData = lpInBuffer[i];
        lpWaveInHdr[i]->dwBufferLength = kBufferBytes;
    }
    if (!waveIn.open(&source())) {
        freeBlocks();
        return -1;
    }
    hWaveIn = &waveIn;
    Initialized = 1;
    return 0;
}

int CTWAVEInStart()
{
    if (!Initialized || Recording) return -1;
    if (!hWaveIn->start()) return -1;
    for (WaveInHeader* h : lpWaveInHdr) {
        h->dwFlags |= WHDR_PREPARED;
        if (hWaveIn->add(h) != 0) {
            hWaveIn->reset();
            return -1;
        }
    }
    Recording = 1;
    return 0;
}

void CTWAVEInStop()
{
    if (!Recording) return;
    hWaveIn->reset();
    Recording = 0;
    for (WaveInHeader* h : lpWaveInHdr) h->dwFlags &= ~WHDR_PREPARED;
}

void CTWAVEInClose()
{
    if (!Initialized) return;
    CTWAVEInStop();
    hWaveIn->close();
    hWaveIn = nullptr;
    freeBlocks();
    Initialized = 0;
}

void waveInCallback(void* handle, unsigned int message, uintptr_t, uintptr_t param1, uintptr_t)
{
    if (message != WIM_DATA) return;
    auto* h = reinterpret_cast<WaveInHeader*>(param1);
    h->dwFlags &= ~WHDR_PREPARED;
    const int32_t captured = static_cast<int32_t>(h->dwBytesRecorded / 4);
    int32_t n = 0;
    {
        std::lock_guard<std::mutex> hold(copyLock);
        n = std::min({TotalSamples.load() - RecordedSamples.load(), kWaveInBufferFrames, captured});
        if (n > 0) {
            char* to = DataBuffer.load(std::memory_order_relaxed);
            std::memcpy(to, h->lpData, static_cast<size_t>(n) * 4);
            DataBuffer.store(to + static_cast<ptrdiff_t>(n) * 4, std::memory_order_relaxed);
            RecordedSamples.fetch_add(n);
        }
    }
    if (n == kWaveInBufferFrames) {
        h->dwFlags |= WHDR_PREPARED;
        static_cast<WaveInDevice*>(handle)->add(h);
    }
}

short WAVEIN_StartRecord(unsigned long frames, short* buffer)
{
    if (CTWAVEInOpen(WAVE_MAPPER) != 0) return 0;
    DataBuffer.store(reinterpret_cast<char*>(buffer));
    RecordedSamples.store(0);
    TotalSamples.store(static_cast<int32_t>(std::min<unsigned long>(frames, INT32_MAX)));
    if (CTWAVEInStart() != 0) {
        CTWAVEInClose();
        return 0;
    }
    return 1;
}

short WAVEIN_StopRecord(unsigned long* frames)
{
    {
        // Taken after the limit is set: no copy is left half done.
        std::lock_guard<std::mutex> hold(copyLock);
        TotalSamples.store(RecordedSamples.load());
    }
    if (frames) *frames = static_cast<unsigned long>(RecordedSamples.load());
    return 1;
}

short WAVEIN_ResetRecord()
{
    CTWAVEInStop();
    CTWAVEInClose();
    return 1;
}

short WAVEIN_RecordStatus(unsigned long* frames)
{
    const int32_t recorded = RecordedSamples.load();
    if (Recording && frames) *frames = static_cast<unsigned long>(recorded);
    return Recording && recorded < TotalSamples.load() ? 1 : 0;
}

// ---------------------------------------------------------------------------

unsigned char UserLoop_RecordStart()
{
    recordProblem = 0;
    recordProblemText.clear();
    if (ulrec_on) endRecording();
    void* block = nullptr;
    // Room for 8 bars at the song's slowest tempo, or 20 s without a song;
    // less where memory is short, down to 1.5 s.
    int64_t frames = SongBPM > 0 ? JackInput_TakeCapacity(SongBPM) : int64_t{20} * 44100;
    while (!(block = allocBlock(frames * 4)) && frames * 3 / 4 >= 66150) frames = frames * 3 / 4;
    if (!block) return 0;
    capacity = static_cast<int32_t>(frames);
    // In time with the groove heard through JACK: from the next bar.
    inTime = recordBars > 0 && PlayingStatus.load() == 2 &&
             JackInput_StartTake(recordBars, static_cast<int16_t*>(block), capacity);
    if (inTime) {
        Vetro_SetRecordingHold(true);
        Vetro_ReplaceLoop(static_cast<int16_t*>(block), 0, 2);
        ulrec_on = 1;
        return 1;
    }
    if (!WAVEIN_StartRecord(static_cast<unsigned long>(capacity), static_cast<short*>(block))) {
        M_free(block);  // the loop there was stays
        recordProblem = source().problem();
        recordProblemText = source().problemText();
        if (recordProblem == 0) recordProblem = 4;
        return 0;
    }
    Vetro_SetRecordingHold(true);
    Vetro_ReplaceLoop(static_cast<int16_t*>(block), 0, 2);
    ulrec_on = 1;
    return 1;
}

void UserLoop_RecordStop()
{
    if (inTime) return;  // a take in time ends on its bar, or when reset
    unsigned long frames = 0;
    WAVEIN_StopRecord(&frames);
    recdbytesatStop = static_cast<uint32_t>(frames);
}

void UserLoop_RecordReset()
{
    if (!ulrec_on) return;
    if (inTime) {
        int bars = 0;
        const int32_t frames = JackInput_EndTake(&bars);
        Vetro_ReplaceLoop(vetroGlobalData.loopData, frames, 2, true);
        inTime = false;
        ulrec_on = 0;
        Vetro_SetRecordingHold(false);
        return;
    }
    // Storing ends first, so the count is the block's final content.
    UserLoop_RecordStop();
    WAVEIN_ResetRecord();
    const int32_t frames = std::min<int32_t>(static_cast<int32_t>(recdbytesatStop), capacity);
    Vetro_ReplaceLoop(vetroGlobalData.loopData, frames, 2);
    ulrec_on = 0;
    Vetro_SetRecordingHold(false);
}

unsigned char UserLoop_RecordStatus(short* percent, short* level)
{
    if (level) *level = 0;
    if (!ulrec_on) return 0;
    if (inTime) {
        int countIn = 0, done = 0;
        const bool running = JackInput_TakeStatus(&countIn, &done);
        if (percent) *percent = static_cast<short>(done);
        if (level) *level = countIn > 0 ? 0 : 90;
        return running ? 1 : 0;
    }
    unsigned long n = 0;
    const short st = WAVEIN_RecordStatus(&n);
    if (level) *level = 90;
    if (percent && capacity > 0)
        *percent =
            static_cast<short>(static_cast<unsigned long>(n) * 100u / static_cast<unsigned long>(capacity));
    return st ? 1 : 0;
}

void UserLoop_SetRecordBars(int bars)
{
    recordBars = bars;
}

int UserLoop_CountIn()
{
    int countIn = 0;
    return ulrec_on && inTime && JackInput_TakeStatus(&countIn, nullptr) ? countIn : -1;
}

unsigned char UserLoop_CanRecord()
{
    return source().exists() ? 1 : 0;
}

int UserLoop_RecordProblem(std::string* text)
{
    if (text) *text = recordProblemText;
    return recordProblem;
}

unsigned char UserLoop_Load(char* kelPath)
{
    if (ulrec_on) endRecording();
    lastLoad = UserLoopLoadReport{};
    if (!kelPath) {
        Vetro_ReplaceLoop(nullptr, 0, 2);
        return 0;
    }
    int channels = 0, frames = 0, rate = 0;
    void* file = OpenWaveAt(kelPath, &channels, &frames, &rate);
    if (file == F_NOFILE) return 0;
    lastLoad.fileFrames = frames;
    lastLoad.fileRate = rate;
    // Another rate would play at the wrong speed: the caller converts it.
    if (rate != 44100 || frames <= 0) {
        F_close(file);
        return 0;
    }
    const int frameBytes = 2 * channels;
    int64_t size = int64_t{frames} * frameBytes;
    void* block = nullptr;
    while (size > 0) {
        block = allocBlock(size);
        if (block) break;
        size /= 2;  // what does not fit loads its first half, quarter ...
    }
    unsigned char result = 0;
    if (block) {
        const int want = static_cast<int>(size / frameBytes * frameBytes);
        int got = 0;
        while (got < want) {
            const int n = F_read(file, static_cast<char*>(block) + got, want - got);
            if (n <= 0) break;
            got += n;
        }
        if (got >= frameBytes) {
            lastLoad.loadedFrames = got / frameBytes;
            Vetro_ReplaceLoop(static_cast<int16_t*>(block), lastLoad.loadedFrames,
                              static_cast<int16_t>(channels));
            result = 1;
        } else {
            M_free(block);
        }
    }
    F_close(file);
    return result;
}

UserLoopLoadReport UserLoop_LastLoad()
{
    return lastLoad;
}

void UserLoop_SetMemoryBudget(int64_t bytes)
{
    budget = bytes > 0 ? bytes : kDefaultBudget;
}

int64_t UserLoop_MemoryBudget()
{
    return budget;
}
