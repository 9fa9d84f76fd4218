// Recording from the sound card and loading user loops: the sources of the
// user loop that audio/Vetro.h plays.
//
// The wave input captures 44100 Hz 16-bit stereo through eight rotating
// device buffers of 2048 frames into one caller's block. The device is an
// input source (the sound card's capture device, or a test's) read by a
// capture thread that plays the part of the system's input callback: it
// hands each filled buffer to waveInCallback, which stores what is still
// wanted and gives the buffer back to the device while the recording runs.
//
// Threads: every function here runs on the main thread, except
// waveInCallback, which runs on the capture thread. The capture thread
// alone writes RecordedSamples and the block; the main thread writes
// TotalSamples. Capture is ended (the thread joined) before a recording's
// block is freed or handed to the render stage.
#pragma once

#include <cstdint>
#include <string>

// Where captured sound comes from.
class WaveInSource {
public:
    virtual ~WaveInSource() = default;
    // Opened paused; false when there is no such device.
    virtual bool open(int rate, int channels, int bufferFrames) = 0;
    virtual void close() = 0;
    virtual bool start() = 0;
    // Pauses and drops what was captured and not taken.
    virtual void stop() = 0;
    // Copies `bytes` captured bytes into dest when that much is waiting;
    // otherwise waits a few milliseconds and returns false.
    virtual bool take(void* dest, uint32_t bytes) = 0;
    // Whether the system offers such a device at all (true when it cannot tell).
    virtual bool exists() = 0;
    // Why the last open failed (a plat::CaptureProblem), and in the system's words.
    virtual int problem() const { return 0; }
    virtual std::string problemText() const { return {}; }
};

// The source capture uses from the next open on; null = the sound card.
void WAVEIN_SetSource(WaveInSource* source);

constexpr unsigned int WAVE_MAPPER = 0xFFFFFFFFu;
constexpr unsigned int WIM_OPEN = 0x3BE;
constexpr unsigned int WIM_CLOSE = 0x3BF;
constexpr unsigned int WIM_DATA = 0x3C0;
constexpr int kWaveInBuffers = 8;
constexpr int kWaveInBufferFrames = 2048;

// 1 when capture runs, 0 on failure.
short WAVEIN_StartRecord(unsigned long frames, short* buffer);
// Ends storing; the count of frames stored goes to *frames. The device stays open.
short WAVEIN_StopRecord(unsigned long* frames);
// Capture stopped and the device closed.
short WAVEIN_ResetRecord();
// 1 while capture runs and frames are still wanted; the count stored so far
// goes to *frames whenever capture was started.
short WAVEIN_RecordStatus(unsigned long* frames);

// 0, or -1 when the device cannot be opened.
int CTWAVEInOpen(unsigned int device);
// 0, or -1 when not open, already capturing, or a buffer cannot be queued.
int CTWAVEInStart();
void CTWAVEInStop();
void CTWAVEInClose();
// The device's notice that a buffer came back (param1: its header).
void waveInCallback(void* handle, unsigned int message, uintptr_t instance, uintptr_t param1,
                    uintptr_t param2);

// What BLEngine's user-loop operations do.
unsigned char UserLoop_Load(char* kelPath);
unsigned char UserLoop_RecordStart();
void UserLoop_RecordStop();
void UserLoop_RecordReset();
unsigned char UserLoop_RecordStatus(short* percent, short* level);
// The next recording takes `bars` bars in time with the groove, from the
// next bar heard, where the sound plays through JACK and the groove plays
// (0: as long as it is let run, the only kind through the card).
void UserLoop_SetRecordBars(int bars);
// Beats of count-in left before a take in time records (0 once it does);
// -1 when none is under way.
int UserLoop_CountIn();
// Whether a capture device exists to record from.
unsigned char UserLoop_CanRecord();
// Why the last UserLoop_RecordStart failed: a plat::CaptureProblem (0 when
// it did not fail), and the system's own words.
int UserLoop_RecordProblem(std::string* text);

// What the last UserLoop_Load found: the file's frames and rate, and the
// frames that became the loop (fewer when it did not all fit).
struct UserLoopLoadReport {
    int32_t fileFrames = 0;
    int32_t fileRate = 0;
    int32_t loadedFrames = 0;
};
UserLoopLoadReport UserLoop_LastLoad();

// The most memory one user loop's block may take (recordings and loads);
// a larger block counts as refused by the heap. 0: the default.
void UserLoop_SetMemoryBudget(int64_t bytes);
int64_t UserLoop_MemoryBudget();
