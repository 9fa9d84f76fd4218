#include "library/BLDocument.h"

#include <string.h>  // strnlen

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "audio/LaunchGrid.h"
#include "core/kelAtomsFiles.h"
#include "core/kelFiles.h"
#include "library/BLGrooveLinks.h"
#include "library/BLSongLibrary.h"
#include "library/BLSynthIce.h"

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
    g.fx = FxSetup{};  // the effects' own atom gives them
}

// The song's whole name from its own atom, taken only when the image's
// field is the start of it.
void takeWholeName(const std::vector<uint8_t>& data, BLIceimage* ice)
{
    char name[kBLSongNameMax + 1] = {};
    std::memcpy(name, data.data(), std::min<size_t>(data.size(), kBLSongNameMax));
    const size_t shortLength = std::strlen(ice->songName);
    if (std::strlen(name) <= shortLength || std::strncmp(name, ice->songName, shortLength) != 0) return;
    std::memcpy(ice->songName, name, sizeof name);
}

constexpr int32_t kTextMax = 1024;  // a kel path or a name in the extras and the note

void putText(std::vector<uint8_t>& out, const std::string& text)
{
    const size_t n = std::min<size_t>(text.size(), kTextMax);
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

// A text at `at`, moved past; false when the data ends first.
bool takeText(const std::vector<uint8_t>& in, size_t& at, std::string& text)
{
    if (at + 2 > in.size()) return false;
    const size_t n = kelGetLE16(in.data() + at);
    at += 2;
    if (n > kTextMax || at + n > in.size()) return false;
    text.assign(reinterpret_cast<const char*>(in.data() + at), n);
    // A name with a zero in it would end early wherever it is used.
    if (text.find('\0') != std::string::npos) text.clear();
    at += n;
    return true;
}

std::vector<uint8_t> encodeExtras(const BLWorkExtras& x)
{
    std::vector<uint8_t> out(30, 0);
    out[0] = 1;
    for (int t = 0; t < kBLEngineTracks; ++t) {
        const BLWorkExtras::Track& k = x.tracks[t];
        out[1 + t] = static_cast<uint8_t>((k.on ? 1 : 0) | (k.soloOn ? 2 : 0) | (k.grouped ? 4 : 0) |
                                          (k.keep ? 8 : 0));
    }
    out[9] = static_cast<uint8_t>((x.soloMode ? 1 : 0) | (x.groupMode ? 2 : 0) | (x.allMode ? 4 : 0));
    out[10] = x.keyLock ? 1 : 0;
    out[11] = static_cast<uint8_t>((x.userLoop ? 1 : 0) | (x.userLoopHeard ? 2 : 0));
    for (int k = 0; k < kBLTunerKnobs; ++k)
        kelPutLE16(out.data() + 12 + 2 * k, static_cast<uint16_t>(x.tunerKnobs[k]));
    putText(out, x.userLoopFile);
    putText(out, x.userLoopName);
    return out;
}

bool decodeExtras(const std::vector<uint8_t>& in, BLWorkExtras* x)
{
    if (in.size() < 30 || in[0] != 1) return false;
    BLWorkExtras r;
    r.launchGrid = x->launchGrid;  // an atom of its own, read in any order
    for (int t = 0; t < kBLEngineTracks; ++t) {
        const uint8_t bits = in[1 + t];
        r.tracks[t] = {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
    }
    r.soloMode = (in[9] & 1) != 0;
    r.groupMode = (in[9] & 2) != 0;
    r.allMode = (in[9] & 4) != 0 && !r.groupMode;
    r.keyLock = in[10] != 0;
    r.userLoop = (in[11] & 1) != 0;
    r.userLoopHeard = (in[11] & 2) != 0;
    // The knobs' own range; the tuner keeps each within its control's.
    for (int k = 0; k < kBLTunerKnobs; ++k)
        r.tunerKnobs[k] = std::clamp<int16_t>(s16(in.data() + 12 + 2 * k), -100, 100);
    size_t at = 30;
    if (!takeText(in, at, r.userLoopFile) || !takeText(in, at, r.userLoopName)) return false;
    *x = std::move(r);
    return true;
}

std::vector<uint8_t> encodeNote(const BLRecoveryNote& note)
{
    std::vector<uint8_t> out(8, 0);
    kelPutLE32(out.data(), static_cast<uint32_t>(static_cast<uint64_t>(note.changed)));
    kelPutLE32(out.data() + 4, static_cast<uint32_t>(static_cast<uint64_t>(note.changed) >> 32));
    putText(out, note.document);
    putText(out, note.program);
    return out;
}

bool decodeNote(const std::vector<uint8_t>& in, BLRecoveryNote* note)
{
    if (in.size() < 10) return false;
    BLRecoveryNote r;
    r.changed = static_cast<int64_t>(kelGetLE32(in.data()) |
                                     (static_cast<uint64_t>(kelGetLE32(in.data() + 4)) << 32));
    size_t at = 8;
    if (!takeText(in, at, r.document)) return false;
    // Written since: the installation it came from.
    if (at < in.size() && !takeText(in, at, r.program)) r.program.clear();
    *note = std::move(r);
    return true;
}

// Everything after the version atom, from a file or from memory.
BLDocumentRead readAtoms(kelAtomsFile& file, BLIceimage* ice, BLSynthDocument* synth, BLWorkExtras* extras,
                         BLRecoveryNote* note)
{
    BLDocumentRead result;
    ice->valid = 0;
    ice->takes.clear();
    if (!file.read(kBLAtomVersion, &result.version)) {
        result.status = BLDocumentRead::noVersion;
        return result;
    }
    if (result.version != kBLDocumentVersion) {
        result.status = BLDocumentRead::otherVersion;
        return result;
    }
    std::vector<uint8_t> image(kBLIceSize);
    // An image atom shorter than its size is read with its missing tail zero
    // (the caller says the document is incomplete); one the file itself cuts
    // off is damage, and none of it is taken.
    file.zeroFill = true;
    if (!file.read(kBLAtomIce, kBLIceSize, image.data()) || file.lastLength() <= 0) {
        ice->valid = 0;
        result.status = BLDocumentRead::noImage;
        return result;
    }
    result.imageShort = file.lastLength() < kBLIceSize;
    BLDocument_DecodeIce(image.data(), ice);
    result.status = BLDocumentRead::read;
    // The atoms after the image, in any order. The synth's is handed to the
    // synth alone: a document without one loses none of the others to it.
    uint32_t id = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> synthAtom;
    bool synthSeen = false;
    const bool damagedBefore = file.damaged();
    // A plugin's state may be long: an atom is read up to this size.
    while (file.readNext(&id, &data, 16 * 1024 * 1024)) {
        if (id == kBLAtomSongName) takeWholeName(data, ice);
        if (id == kBLAtomWork && extras) {
            result.extrasRead = decodeExtras(data, extras);
            if (!result.extrasRead) result.extrasDamaged = true;
        }
        if (id == kBLAtomLaunchGrid && extras) {
            if (data.size() == 2)
                extras->launchGrid = static_cast<int16_t>(LaunchGridFromCode(s16(data.data())));
            else
                result.extrasDamaged = true;
        }
        if (id == kBLAtomRecovery && note) result.noteRead = decodeNote(data, note);
        if (id == kBLAtomSynth && !synthSeen) {
            synthSeen = true;
            synthAtom = data;
        }
        if (id == kBLAtomEffects &&
            (file.lastLength() > static_cast<int32_t>(data.size()) || !BLDocument_DecodeEffects(data, ice)))
            result.effectsDamaged = true;
        if (id == kBLAtomTakes &&
            (file.lastLength() > static_cast<int32_t>(data.size()) || !BLTake_Decode(data, ice->takes)))
            result.takesDamaged = true;
    }
    if (synth && synthSeen) {
        std::vector<uint8_t> alone(12);
        kelPutLE32(alone.data(), kKelAtomsMagic);
        kelPutLE32(alone.data() + 4, kBLAtomSynth);
        kelPutLE32(alone.data() + 8, static_cast<uint32_t>(synthAtom.size()));
        alone.insert(alone.end(), synthAtom.begin(), synthAtom.end());
        kelAtomsFile one;
        if (one.openForRead(alone.data(), alone.size())) {
            result.synthRead = synth->iced_load(&one);
            one.close();
        }
    }
    // A synth atom there but not whole: its length runs past the end (which
    // hides whatever came after it), or what it holds cannot be read.
    const bool synthCut = file.damaged() && !damagedBefore && file.lastId() == kBLAtomSynth;
    if (synth) result.synthDamaged = synthCut || (synthSeen && !result.synthRead);
    if (synthCut) {
        if (file.bytesAfterDamage() > kBLSynthIceSize) result.extrasDamaged = true;
    } else if (file.damaged() && !damagedBefore) {
        result.extrasDamaged = true;
    }
    return result;
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

std::vector<uint8_t> BLDocument_Encode(const BLIceimage& ice, BLSynthDocument* synth,
                                       const BLWorkExtras* extras, const BLRecoveryNote* note)
{
    std::vector<uint8_t> bytes;
    kelAtomsFile file;
    file.openForWrite(&bytes);
    std::vector<uint8_t> image(kBLIceSize);
    BLDocument_EncodeIce(ice, image.data());
    file.write(kBLAtomVersion, kBLDocumentVersion);
    file.write(kBLAtomIce, kBLIceSize, image.data());
    if (synth) synth->iced_save(&file);
    const size_t nameLength = ::strnlen(ice.songName, sizeof ice.songName);
    if (nameLength >= static_cast<size_t>(kBLSongNameSize))
        file.write(kBLAtomSongName, static_cast<int32_t>(nameLength), ice.songName);
    if (extras) {
        const std::vector<uint8_t> x = encodeExtras(*extras);
        file.write(kBLAtomWork, static_cast<int32_t>(x.size()), x.data());
        if (extras->launchGrid >= 0) {
            uint8_t grid[2];
            kelPutLE16(grid, static_cast<uint16_t>(extras->launchGrid));
            file.write(kBLAtomLaunchGrid, 2, grid);
        }
    }
    const std::vector<uint8_t> effects = BLDocument_EncodeEffects(ice);
    if (!effects.empty()) file.write(kBLAtomEffects, static_cast<int32_t>(effects.size()), effects.data());
    const std::vector<uint8_t> takes = BLTake_Encode(ice.takes);
    if (!takes.empty()) file.write(kBLAtomTakes, static_cast<int32_t>(takes.size()), takes.data());
    if (note) {
        const std::vector<uint8_t> n = encodeNote(*note);
        file.write(kBLAtomRecovery, static_cast<int32_t>(n.size()), n.data());
    }
    file.close();
    return bytes;
}

bool BLDocument_WriteBytes(const char* path, const std::vector<uint8_t>& bytes)
{
    if (!path || !path[0]) return false;
    KelSaveFile save;
    if (!save.begin(path)) return false;
    const bool written = KEL_FileWrite(&save.file, static_cast<long>(bytes.size()), bytes.data());
    return written && save.commit();
}

bool BLDocument_Write(const char* path, const BLIceimage& ice, BLSynthDocument* synth,
                      const BLWorkExtras* extras)
{
    return BLDocument_WriteBytes(path, BLDocument_Encode(ice, synth, extras));
}

BLDocumentRead BLDocument_Read(const char* path, BLIceimage* ice, BLSynthDocument* synth,
                               BLWorkExtras* extras, BLRecoveryNote* note)
{
    kelAtomsFile file;
    if (!path || !ice || !file.openForRead(path)) return {};
    const BLDocumentRead result = readAtoms(file, ice, synth, extras, note);
    file.close();
    return result;
}

BLDocumentRead BLDocument_Decode(const std::vector<uint8_t>& bytes, BLIceimage* ice, BLSynthDocument* synth,
                                 BLWorkExtras* extras, BLRecoveryNote* note)
{
    kelAtomsFile file;
    if (!ice || !file.openForRead(bytes.data(), bytes.size())) return {};
    const BLDocumentRead result = readAtoms(file, ice, synth, extras, note);
    file.close();
    return result;
}
