// The media service: auditions, pictures and sound conversion, the three jobs
// the program hands to a media library. Every path is a kel path; every
// operation reports failure by its result and shows nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class kelOffmap;

// Four-character codes, the first character in the most significant byte.
constexpr uint32_t kelQtFormatNative = 0x42544C4D;     // 'BTLM': the program's own WAV, no conversion
constexpr uint32_t kelQtFormatWave = 0x57415645;       // 'WAVE'
constexpr uint32_t kelQtFormatAiff = 0x41494646;       // 'AIFF'
constexpr uint32_t kelQtFormatFlac = 0x464C4143;       // 'FLAC'
constexpr uint32_t kelQtFormatOggVorbis = 0x4F474756;  // 'OGGV'
constexpr uint32_t kelQtFormatOpus = 0x4F505553;       // 'OPUS'
constexpr uint32_t kelQtFormatMp3 = 0x4D503320;        // 'MP3 '
constexpr uint32_t kelQtFormatNone = 0x6E6F6E65;       // 'none': past the last exporter

// Room for an exporter's display name, with its NUL.
constexpr int kelQtFormatNameSize = 64;

// The opaque settings block of an exporter: a pointer and a length. Its
// content (big-endian): format code (4), channels (2, 0 = as the source),
// bits (2), rate (4, 0 = as the source), quality 0..100 (2), bit rate in
// kbit/s for Opus and MP3 (2, 0 = the format's default).
struct kelQtSettingsHandle {
    uint8_t* data = nullptr;
    int32_t length = 0;
};
constexpr int32_t kelQtSettingsLength = 16;
// Larger blocks are refused (a damaged preferences file may ask for anything).
constexpr int32_t kelQtSettingsMaxLength = 65536;

bool kelQt_Init();
// Stops any audition first.
void kelQt_Exit();
void kelQt_associateFrontWindow();
void kelQt_deassociateWindow();

// Auditions: one at a time, played on a sound device of their own and looped
// until stopped. kelQt_Idle keeps the device about half a second ahead; call
// it from the main thread's idle handler.
bool kelQt_PlaySoundStart(const char* path);
void kelQt_PlaySoundStop();
void kelQt_Idle();

struct kelQtAuditionStatus {
    bool playing = false;
    int64_t framesQueued = 0;  // 44100 Hz stereo frames handed to the device
    int32_t restarts = 0;      // times the file started again from its beginning
    uint32_t queuedBytes = 0;  // still waiting in the device
};
kelQtAuditionStatus kelQt_auditionStatus();

// What a sound file holds, as the media service reads it; false when it
// cannot read the file (missing, not a sound, not a plain file).
struct kelQtSoundInfo {
    int32_t rate = 0;
    int16_t channels = 0;
    int64_t frames = 0;
};
bool kelQt_soundInfo(const char* path, kelQtSoundInfo* info);

// GIF (first frame) or PNG into a 16-bit image of the picture's size.
// Transparent pixels become black (partly transparent ones are darkened
// towards black); each channel keeps its top five bits.
bool kelQt_imageToOffmap(const char* path, kelOffmap* image);

// Sound conversion. Exporters are numbered from 0; only the formats this
// system can write are listed.
bool kelQt_soundConvert_getFormat(int16_t index, uint32_t* code, char* name);
// Rewrites the extension of `name` (a buffer of nameSize bytes) from the
// code's first three characters in lower case ('BTLM' as 'wav '), except
// FLAC and Opus, whose files take their own ".flac" and ".opus"; false,
// unchanged, when it would not fit.
bool kelQt_soundConvert_setFileExtension(char* name, uint32_t code, int nameSize = 256);
// Any readable sound file to the format, with the settings (an empty or
// foreign block means the format's defaults). The target is written beside
// its place and renamed there, so a failure keeps an older file.
bool kelQt_soundConvert_apply(const char* source, const char* target, uint32_t code,
                              const kelQtSettingsHandle* settings);
// There are no exporter option dialogs here: the block is replaced by the
// format's settings (its own values kept where they are valid for it).
bool kelQt_soundConvert_askUser(uint32_t code, kelQtSettingsHandle* settings);
// A plain PCM target: 'WAVE' or 'AIFF', 1 or 2 channels (0 = as the source),
// 8, 16, 24 or 32 bits, a rate (0 = as the source).
bool kelQt_soundConvert_settingsSetTo(uint32_t code, int16_t channels, int16_t bits, int32_t rate,
                                      kelQtSettingsHandle* settings);
// The loop tuner's import: any readable sound to a 44100 Hz 16-bit stereo WAV.
bool kelQt_soundConvert_toLoopWave(const char* source, const char* target);
// The same for sounds of any length: at most maxFrames frames of it (0: all),
// progress(fraction done) called along the way when given; *cut (when given)
// tells whether the sound went on beyond maxFrames.
bool kelQt_soundConvert_toLoopWaveUpTo(const char* source, const char* target, int64_t maxFrames,
                                       void (*progress)(float), bool* cut);

// The options a format offers the user, each one choice of its settings
// (bit depth, quality or bit rate), numbered from 0. The native format
// 'BTLM' has none.
int16_t kelQt_soundConvert_optionCount(uint32_t code);
// The choice's name ("24-bit", "192 kbit/s"); false past the last.
bool kelQt_soundConvert_optionName(uint32_t code, int16_t index, char* name);
// The choice the settings hold now (the format's default choice for an
// empty or foreign block); -1 for a format without options.
int16_t kelQt_soundConvert_optionIndex(uint32_t code, const kelQtSettingsHandle* settings);
// Replaces the block by the format's settings with that choice.
bool kelQt_soundConvert_setOption(uint32_t code, int16_t index, kelQtSettingsHandle* settings);

// Conversions report the fraction done and poll for a stop through hooks
// an upper layer installs (null: nothing).
void kelQt_soundConvert_setHooks(void (*subAmount)(float), bool (*shouldStop)());

enum class kelQtConvertResult : uint8_t { done, failed, stopped };
struct kelQtConvertOptions {
    // Brings the target to an integrated loudness of -14 LUFS with true
    // peaks at -1 dBTP at most (a limiter holds the peaks down).
    bool normalize = false;
    // Otherwise a fixed gain (dB), nothing else changed: files that are to
    // add up to a whole keep doing so.
    double gainDb = 0.0;
};
constexpr double kelQtTargetLufs = -14.0;
constexpr double kelQtTruePeakLimitDb = -1.0;
// kelQt_soundConvert_apply with options; the native code 'BTLM' writes a
// 16-bit WAV. A stopped or failed conversion leaves no target of its own.
kelQtConvertResult kelQt_soundConvert_run(const char* source, const char* target, uint32_t code,
                                          const kelQtSettingsHandle* settings,
                                          const kelQtConvertOptions& options);

// Integrated loudness (LUFS) and true peak (dBTP) of a sound file; false
// when it cannot be read. Silence measures -HUGE_VAL.
bool kelQt_soundMeasure(const char* path, double* lufs, double* truePeakDb);
// The one gain (dB) that brings sound files played together (the stems of
// a mix) towards -14 LUFS as a whole, as far as the true peaks of the whole
// and of every file alone stay at -1 dBTP at most; 0 for silence. False
// when one cannot be read.
bool kelQt_soundConvert_sharedGain(const std::vector<std::string>& paths, double* gainDb);
// False when a file of the format (with these settings) cannot hold that
// many frames: WAV and AIFF describe at most 4 GiB of samples.
bool kelQt_soundConvert_fits(uint32_t code, const kelQtSettingsHandle* settings, int64_t frames,
                             int channels);

void kelQt_soundConvert_settingsDataInit(kelQtSettingsHandle* settings);
// A zeroed block of `length` bytes (the old one freed).
bool kelQt_soundConvert_settingsDataAllocate(kelQtSettingsHandle* settings, int32_t length);
bool kelQt_soundConvert_settingsDataCopy(const kelQtSettingsHandle* from, kelQtSettingsHandle* to);
void kelQt_soundConvert_settingsDataDispose(kelQtSettingsHandle* settings);
