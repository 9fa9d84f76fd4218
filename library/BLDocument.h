// Groove documents (.bld): an atoms file holding, in this order,
//   'vers'  4 bytes     format version, 1
//   'iced'  8732 bytes  the groove panel's ice image (layout below)
//   'syic'  3308 bytes  the synth panel's state
//   'sngn'  1..255      the song folder's whole name, only when it does not
//                       fit the image's 64 bytes (readers of the first three
//                       atoms never get to it)
//   'work'  32..        what the user made beyond the image and the synth
//                       (layout in BLWorkExtras); older readers stop before it
//   'lgrd'  2           the launch grid the work plays at (a LaunchGrid code);
//                       a document without it plays at the preferences' grid
//   'rcvr'  10..        a recovery file's note: when the work changed,
//                       which document it belongs to and, since, the program
//                       folder that wrote it
//   'efct'  3..         the grooves' effects (layout below); a document
//                       without it has none
//   'take'  3..         the takes (layout in BLTake.h); none without it
//
// The ice image, little-endian, at these offsets:
//      0    1  valid
//      1   65  song folder's name, zero-terminated
//     66 8320  64 grooves of 130 bytes
//   8386    2  stored groove count
//   8388  200  sequence: 100 groove ids
//   8588    2  sequence length
//   8590    2  user length
//   8592  130  current groove
//   8722    2  selected track
//   8724    4  tempo, IEEE float
//   8728    4  reserved
// A groove: 16 tracks of 8 bytes (volume, pan, group, slot, 2 bytes each),
// then its id at 128.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/kelBytes.h"
#include "library/BLGroove.h"

class BLSynthDocument;

constexpr uint32_t kBLAtomVersion = kelFourCC("vers");
constexpr uint32_t kBLAtomIce = kelFourCC("iced");
constexpr uint32_t kBLAtomSynth = kelFourCC("syic");
constexpr uint32_t kBLAtomSongName = kelFourCC("sngn");
constexpr uint32_t kBLAtomWork = kelFourCC("work");
constexpr uint32_t kBLAtomRecovery = kelFourCC("rcvr");
constexpr uint32_t kBLAtomLaunchGrid = kelFourCC("lgrd");
constexpr uint32_t kBLAtomEffects = kelFourCC("efct");
constexpr uint32_t kBLAtomTakes = kelFourCC("take");
constexpr int32_t kBLDocumentVersion = 1;
constexpr int32_t kBLIceSize = 8732;
constexpr int32_t kBLGrooveSize = 130;

namespace bliceoffset {
constexpr int valid = 0;
constexpr int songName = 1;
constexpr int grooves = 66;
constexpr int count = 8386;
constexpr int entries = 8388;
constexpr int length = 8588;
constexpr int userLength = 8590;
constexpr int groove = 8592;
constexpr int selectedTrack = 8722;
constexpr int bpm = 8724;
constexpr int reserved = 8728;
}  // namespace bliceoffset

// What the user made beyond the ice image and the synth, little-endian:
//      0  1  layout, 1
//      1  8  tracks 0..7: bit 0 light on, 1 on in solo, 2 in the group, 3 kept
//      9  1  modes: bit 0 solo, 1 group, 2 all
//     10  1  key lock
//     11  1  user loop: bit 0 there, 1 heard
//     12 18  the loop tuner's nine knobs, signed 16-bit
//     30  2  n, then n bytes: the user loop's sound file (a kel path; none
//            when it was recorded)
//      .  2  m, then m bytes: the user loop's name
// The launch grid travels with them in an atom of its own ('lgrd').
constexpr int kBLTunerKnobs = 9;
struct BLWorkExtras {
    struct Track {
        bool on = true;
        bool soloOn = false;
        bool grouped = false;
        bool keep = false;
        bool operator==(const Track&) const = default;
    };
    Track tracks[kBLEngineTracks];
    bool soloMode = false;
    bool groupMode = false;
    bool allMode = false;
    bool keyLock = false;
    bool userLoop = false;
    bool userLoopHeard = false;
    int16_t tunerKnobs[kBLTunerKnobs] = {};
    std::string userLoopFile;
    std::string userLoopName;
    // A LaunchGrid code; -1 when the document does not say (one written
    // before the grid).
    int16_t launchGrid = -1;
    bool operator==(const BLWorkExtras&) const = default;
};

// The grooves' effects, little-endian: 1 byte layout (1), 2 bytes n, then
// n slots, each: 1 byte groove (0 .. 63 a stored groove, 255 the current
// one), 1 byte rack (0 .. 7 a track, 8 the main mix), 1 byte slot (0, 1),
// 1 byte flags (bit 0 bypassed), the effect (2 bytes length, then its name
// or URI), 2 bytes m, then m parameters (a name as the effect, 4 bytes an
// IEEE float), 4 bytes length and a plugin's own state. Empty slots are
// not written; what is written is read back whole whatever is installed.
std::vector<uint8_t> BLDocument_EncodeEffects(const BLIceimage& ice);
// Into the image's grooves (they keep what they had where the atom says
// nothing); false when the atom is damaged: what was read whole is kept.
bool BLDocument_DecodeEffects(const std::vector<uint8_t>& in, BLIceimage* ice);

// A recovery file's note: when the work last changed (seconds since 1970),
// the document it belongs to ("" for an untitled one) and the program folder
// of the installation that wrote it ("" in a note written before it said).
struct BLRecoveryNote {
    int64_t changed = 0;
    std::string document;
    std::string program;
};

// out holds kBLIceSize bytes.
void BLDocument_EncodeIce(const BLIceimage& ice, uint8_t* out);
// Reads an image from kBLIceSize bytes. Whatever the bytes hold, the image
// keeps the model's ranges: counts and lengths within their arrays, groups
// and slots within the song library's limits (-1 otherwise), volumes 0..127,
// pans -63..+63, the selected track -1..7, the name terminated.
void BLDocument_DecodeIce(const uint8_t* in, BLIceimage* ice);

// The document's bytes: the image, the synth's atom (none without a synth),
// the whole song name when it is long, the extras and the note when given.
std::vector<uint8_t> BLDocument_Encode(const BLIceimage& ice, BLSynthDocument* synth,
                                       const BLWorkExtras* extras = nullptr,
                                       const BLRecoveryNote* note = nullptr);

// Writes the document through a temporary file beside `path`, renamed into
// place: a failure keeps the file that was there. False on any failure.
bool BLDocument_Write(const char* path, const BLIceimage& ice, BLSynthDocument* synth,
                      const BLWorkExtras* extras = nullptr);
bool BLDocument_WriteBytes(const char* path, const std::vector<uint8_t>& bytes);

struct BLDocumentRead {
    enum Status : int16_t {
        cannotOpen,    // no file, or not an atoms file: nothing changed
        noVersion,     // the version atom is missing
        otherVersion,  // a version this program does not read
        noImage,       // version 1, but the ice image is missing or cut off (nothing of it used)
        read,          // the image was read
    };
    Status status = cannotOpen;
    int32_t version = 0;
    bool synthRead = false;
    bool extrasRead = false;
    bool noteRead = false;
    // The image's atom was shorter than its size: its missing tail is zero.
    bool imageShort = false;
    // A synth atom was there but could not be read whole.
    bool synthDamaged = false;
    // What follows the synth (the extras, the launch grid) was there but
    // could not all be read.
    bool extrasDamaged = false;
    bool effectsDamaged = false;  // the effects' atom was damaged (what could be read is in the image)
    bool takesDamaged = false;    // the takes' atom was damaged (the takes read whole are kept)
};

// Reads a document into `ice` (marked invalid first, once the file opened),
// lets the synth read its atom, and fills the extras and the note when the
// document has them and they are asked for.
BLDocumentRead BLDocument_Read(const char* path, BLIceimage* ice, BLSynthDocument* synth,
                               BLWorkExtras* extras = nullptr, BLRecoveryNote* note = nullptr);
// The same from a document's bytes in memory.
BLDocumentRead BLDocument_Decode(const std::vector<uint8_t>& bytes, BLIceimage* ice, BLSynthDocument* synth,
                                 BLWorkExtras* extras = nullptr, BLRecoveryNote* note = nullptr);
