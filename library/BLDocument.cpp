#include "library/BLDocument.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string.h>  // strnlen
#include <string>
#include <vector>

#include "core/kelAtomsFiles.h"
#include "core/kelFiles.h"
#include "library/BLGrooveLinks.h"
#include "library/BLSongLibrary.h"

namespace off = bliceoffset;

static_assert(off::reserved + 4 == kBLIceSize);
static_assert(off::grooves + kBLMaxGrooves * kBLGrooveSize == off::count);
static_assert(kBLGrooveTracks * 8 + 2 == kBLGrooveSize);

namespace {

void encodeGroove(const BLGroove& g, uint8_t* p)
{
    for (int t = 0; t < kBLGrooveTracks; ++t) {
        const BLTrack& k = g.tracks[t];
        kelPutLE16(p + 8 * t, k.volume);
        kelPutLE16(p + 8 * t + 2, static_cast<uint16_t>(k.pan));
        kelPutLE16(p + 8 * t + 4, static_cast<uint16_t>(k.group));
        kelPutLE16(p + 8 * t + 6, static_cast<uint16_t>(k.slot));
    }
    kelPutLE16(p + 128, g.id);
}

int16_t s16(const uint8_t* p)
{
    return static_cast<int16_t>(kelGetLE16(p));
}

// An index of the song library, or -1.
int16_t indexWithin(const uint8_t* p, int limit)
{
    const int16_t v = s16(p);
    return v >= 0 && v < limit ? v : int16_t{-1};
}

void decodeGroove(const uint8_t* p, BLGroove& g)
{
    for (int t = 0; t < kBLGrooveTracks; ++t) {
        BLTrack& k = g.tracks[t];
        k.volume = std::min<uint16_t>(kelGetLE16(p + 8 * t), 127);
        k.pan = std::clamp<int16_t>(s16(p + 8 * t + 2), -63, 63);
        k.group = indexWithin(p + 8 * t + 4, kBLMaxGroups);
        k.slot = indexWithin(p + 8 * t + 6, kBLMaxSlots);
    }
    g.id = kelGetLE16(p + 128);
}

// The song's whole name from its own atom, taken only when the image's
// field is the start of it.
void readWholeName(kelAtomsFile& file, BLIceimage* ice)
{
    char name[kBLSongNameMax + 1] = {};
    // It follows the synth's atom, which a reader without a synth skips here.
    bool found = false;
    for (int atom = 0; atom < 2 && !found; ++atom) found = file.read(kBLAtomSongName, kBLSongNameMax, name);
    if (!found) return;
    const size_t shortLength = std::strlen(ice->songName);
    if (std::strlen(name) <= shortLength || std::strncmp(name, ice->songName, shortLength) != 0) return;
    std::memcpy(ice->songName, name, sizeof name);
}

}  // namespace

void BLDocument_EncodeIce(const BLIceimage& ice, uint8_t* out)
{
    std::memset(out, 0, kBLIceSize);
    out[off::valid] = ice.valid;
    // Cut whole characters only: the rest of a longer name goes in its own atom.
    KEL_CopyCut(reinterpret_cast<char*>(out + off::songName), kBLSongNameSize, ice.songName);
    const BLSequence& seq = ice.sequence;
    for (int i = 0; i < kBLMaxGrooves; ++i)
        encodeGroove(seq.grooves[i], out + off::grooves + kBLGrooveSize * i);
    kelPutLE16(out + off::count, static_cast<uint16_t>(seq.count));
    for (int i = 0; i < kBLMaxSequence; ++i) kelPutLE16(out + off::entries + 2 * i, seq.entries[i]);
    kelPutLE16(out + off::length, static_cast<uint16_t>(seq.length));
    kelPutLE16(out + off::userLength, static_cast<uint16_t>(seq.userLength));
    encodeGroove(ice.groove, out + off::groove);
    kelPutLE16(out + off::selectedTrack, static_cast<uint16_t>(ice.selectedTrack));
    kelPutLE32(out + off::bpm, std::bit_cast<uint32_t>(ice.bpm));
}

void BLDocument_DecodeIce(const uint8_t* in, BLIceimage* ice)
{
    ice->valid = in[off::valid];
    // The name up to its terminator; what the field holds past it means nothing.
    std::memset(ice->songName, 0, sizeof ice->songName);
    const auto* name = reinterpret_cast<const char*>(in + off::songName);
    std::memcpy(ice->songName, name, ::strnlen(name, kBLSongNameSize - 1));
    BLSequence& seq = ice->sequence;
    for (int i = 0; i < kBLMaxGrooves; ++i)
        decodeGroove(in + off::grooves + kBLGrooveSize * i, seq.grooves[i]);
    seq.count = std::clamp<int16_t>(s16(in + off::count), 0, kBLMaxGrooves);
    for (int i = 0; i < kBLMaxSequence; ++i) seq.entries[i] = kelGetLE16(in + off::entries + 2 * i);
    seq.length = std::clamp<int16_t>(s16(in + off::length), 0, kBLMaxSequence);
    seq.userLength = std::clamp<int16_t>(s16(in + off::userLength), 0, kBLMaxSequence);
    decodeGroove(in + off::groove, ice->groove);
    const int16_t track = s16(in + off::selectedTrack);
    ice->selectedTrack = track >= -1 && track < kBLEngineTracks ? track : int16_t{0};
    ice->bpm = std::bit_cast<float>(kelGetLE32(in + off::bpm));
}

bool BLDocument_Write(const char* path, const BLIceimage& ice, BLSynthDocument* synth)
{
    if (!path || !path[0]) return false;
    KelSaveFile save;
    kelAtomsFile file;
    if (!save.begin(path) || !file.openForWrite(&save.file)) return false;
    std::vector<uint8_t> image(kBLIceSize);
    BLDocument_EncodeIce(ice, image.data());
    file.write(kBLAtomVersion, kBLDocumentVersion);
    file.write(kBLAtomIce, kBLIceSize, image.data());
    if (synth) synth->iced_save(&file);
    const size_t nameLength = ::strnlen(ice.songName, sizeof ice.songName);
    if (nameLength >= static_cast<size_t>(kBLSongNameSize))
        file.write(kBLAtomSongName, static_cast<int32_t>(nameLength), ice.songName);
    const bool written = !file.failed();
    return file.close() && written && save.commit();
}

BLDocumentRead BLDocument_Read(const char* path, BLIceimage* ice, BLSynthDocument* synth)
{
    BLDocumentRead result;
    kelAtomsFile file;
    if (!path || !ice || !file.openForRead(path)) return result;
    ice->valid = 0;
    if (!file.read(kBLAtomVersion, &result.version)) {
        result.status = BLDocumentRead::noVersion;
    } else if (result.version != kBLDocumentVersion) {
        result.status = BLDocumentRead::otherVersion;
    } else {
        std::vector<uint8_t> image(kBLIceSize);
        // An image shorter than its size is cut off: none of it is taken.
        if (file.read(kBLAtomIce, kBLIceSize, image.data()) && file.lastLength() >= kBLIceSize) {
            BLDocument_DecodeIce(image.data(), ice);
            result.status = BLDocumentRead::read;
        } else {
            ice->valid = 0;
            result.status = BLDocumentRead::noImage;
        }
        if (result.status == BLDocumentRead::read) {
            if (synth) result.synthRead = synth->iced_load(&file);
            readWholeName(file, ice);
        }
    }
    file.close();
    return result;
}
