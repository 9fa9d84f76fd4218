// The synth panel's state: the setting, its pattern, the sounds, the
// presets, the scale keys and the document atom.
#include "panels/synth/BLSynthPanel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "control/BLGrooveController.h"
#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"
#include "core/kelFiles.h"
#include "library/BLSongText.h"
#include "panels/groove/BLGroovePanel.h"

BLSynthPanel* blSynthPanel = nullptr;

namespace {

constexpr uint32_t kAtomSynth = kelFourCC("syic");
constexpr const char* kSynthFolder = ":Library:Synth:";
constexpr const char* kNoteNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

// Semitone of a scale letter, -1 for another character.
int scaleSemitone(char c)
{
    switch (c) {
        case 'C': return 0;
        case 'D': return 2;
        case 'E': return 4;
        case 'F': return 5;
        case 'G': return 7;
        case 'A': return 9;
        case 'B': return 11;
        default: return -1;
    }
}

// Appends text while it fits (the engine takes at most 2047 characters).
void append(char* out, int outSize, int& length, const char* text)
{
    const int n = static_cast<int>(std::strlen(text));
    if (length + n >= outSize) return;
    std::memcpy(out + length, text, static_cast<size_t>(n) + 1);
    length += n;
}

}  // namespace

const char* const BLSynthPanel::kRhythms[kPrograms] = {
    "xxxxxxxxxxxxxxxx", "x.xxx.x.xx.xxxxx", "xxx.x.x.xx.x.xxx", "xxx.xxx.xxxx.xxx", "xxxxxxxx.xxx.xxx",
    "xxxx.xxx.xx.x.xx", "xxxxx.xxxx.xxx.x", "xxxxx.xxxx.xx.xx", "xxxxx.x.xx.x.xxx", "xx.xx.x.xx.xxxxx",
    "xx.xxxx.xx.xxxx.", "xx.xxxxxxx.xx.x.", "xx.xxx.xxx.xx.x.", "x.xxxx..x.xxx.x.", "xxxxxx..xxxxx.x.",
    "xxxxx.xx..xxx.x.", "xxxxx.xx..xxx...", "xxxx.x.xx.xxxxxx", "xx.xxx.xx.xxxxxx", "xx.xxx.xx.xxx..x",
    "xx.x.xx.x.xx.x.x", "xxxx.xxxx.xxxx..", "xxx.x.x.x.x.xxxx", "xxx.x.x.x.x.xxx.", "xxx.x.x.xxx.x.x.",
    "xxx.xxx.xxx.xxx.", "x.x.xx..x.xx..x.", "x...x.x.xxxx..x.", "x.x.xxxxx.x.x.x.", "x.x.x..xxx.xxxx.",
    "xxxx.x.xxx.xxxx.", "xx.x.x.x.x.xxx..", "xx.xxxx.xx.xxxx.",
};

// ---- Life -------------------------------------------------------------------------

BLSynthPanel::BLSynthPanel(BLEngineCalls* engine, BLPlayer* player) : fixedEngine(engine), fixedPlayer(player)
{
    for (int16_t k = 0; k < kKeys; ++k)
        std::snprintf(keyNames[k], sizeof keyNames[k], "%s%d", kNoteNames[k % 12], 2 + k / 12);
    mixPath.set("SynthFile");
    blSynthPanel = this;
}

BLSynthPanel::~BLSynthPanel()
{
    if (blSynthPanel == this) blSynthPanel = nullptr;
    if (BLPlayer* p = player()) p->setSynth(nullptr);
    if (blGroove) blGroove->setSynthPart(nullptr);
}

BLEngineCalls& BLSynthPanel::engine()
{
    static BLEngineCalls facade;
    return fixedEngine ? *fixedEngine : facade;
}

BLPlayer* BLSynthPanel::player() const
{
    return fixedPlayer ? fixedPlayer : blPlayer;
}

void BLSynthPanel::connected()
{
    if (BLPlayer* p = player()) p->setSynth(this);
    if (blGroove) blGroove->setSynthPart(this);
    // Groove documents carry the panel's atom.
    if (blGroove) blGroove->model.setSynthDocument(this);
}

void BLSynthPanel::onPanelOpened()
{
    setting = BLSynthSetting{};
    // The names are kept one octave up ("c2" ... "b4") and lowered: key k
    // plays note k.
    for (int16_t k = 0; k < kKeys; ++k) {
        std::snprintf(keyNames[k], sizeof keyNames[k], "%s%d", kNoteNames[k % 12], 2 + k / 12);
        char& octave = keyNames[k][std::strlen(keyNames[k]) - 1];
        octave = static_cast<char>(octave - 1);
    }
    std::fill(std::begin(scaleKeys), std::end(scaleKeys), uint8_t{255});
    engine().synth_SetPoly(36);
    presetCount = 0;
    presetFirst = 0;
    presetSelected = -1;
    playing = false;
    changed = false;
    autoStart = true;
    documentKeys = false;
    loadedSynth[0] = '\0';
    fillPopups();
    loadSynthsList();
    showAll();
    synth_activate();
}

// ---- The pattern -----------------------------------------------------------------

void BLSynthPanel::buildPattern(char* out, int outSize) const
{
    int length = 0;
    out[0] = '\0';
    int n = 0;
    for (int16_t k = 0; k < kKeys; ++k)
        if (setting.keys[k]) ++n;
    if (n == 0) return;
    const int program = std::clamp<int>(setting.program, 0, kPrograms - 1);
    if (program == 0) {
        for (int16_t k = 0; k < kKeys; ++k)
            if (setting.keys[k]) append(out, outSize, length, keyNames[k]);
        return;
    }
    // Whole rhythm cycles over whole passes of the keys.
    const char* row = kRhythms[program];
    int count = 0, step = 0;
    for (int k = 0;; k = (k + 1) % kKeys) {
        if (!setting.keys[k]) continue;
        append(out, outSize, length, keyNames[k]);
        ++count;
        step = (step + 1) % 16;
        while (row[step] == '.') {
            append(out, outSize, length, "  ");
            step = (step + 1) % 16;
        }
        if (step == 0 && count % n == 0 && count > n) return;
    }
}

void BLSynthPanel::synth_activate()
{
    if (!playing) return;
    char pattern[kPatternSize];
    buildPattern(pattern, sizeof pattern);
    const int16_t speed = kSpeeds[std::clamp<int16_t>(setting.speed, 0, 3)];
    if (sentMode == setting.mode && sentSpeed == speed && std::strcmp(sentPattern, pattern) == 0) return;
    engine().synth_Arp(setting.mode, speed, pattern);
    sentMode = setting.mode;
    sentSpeed = speed;
    std::memcpy(sentPattern, pattern, sizeof sentPattern);
}

void BLSynthPanel::synth_restoreAll()
{
    BLEngineCalls& e = engine();
    // A restarted engine lost its sound, its levels and its arpeggio.
    if (loadedSynth[0] && e.synth_NotesLoaded() == 0) loadFolder(loadedSynth);
    e.synth_SetPoly(36);
    e.synth_SetVolume(setting.volume);
    e.synth_SetPan(setting.pan);
}

void BLSynthPanel::playerSaidPlay()
{
    synth_restoreAll();
    synth_activate();
    showLevels();
}

void BLSynthPanel::markChanged()
{
    changed = true;
    documentKeys = false;
}

// ---- Keys ---------------------------------------------------------------------------

void BLSynthPanel::noteHit(int16_t key, bool fromControl)
{
    if (key < 0 || key >= kKeys) return;
    kelPanelControl* c = fromControl ? control(static_cast<int16_t>(synthitem::firstKey + key)) : nullptr;
    const bool on = c ? c->get() != 0 : setting.keys[key] == 0;
    act(Setting::key, static_cast<int16_t>(key | (on ? 256 : 0)));
}

void BLSynthPanel::act(Setting what, int16_t value)
{
    // Through the controller, so that every way of playing sees it; a panel
    // alone (a test's) sets it itself.
    if (blGroove)
        blGroove->setSynth(what, value);
    else
        synthSet(what, value);
}

void BLSynthPanel::synthSet(Setting what, int16_t value)
{
    switch (what) {
        case Setting::playing: setPlaying(value != 0); break;
        case Setting::mode: setMode(value); break;
        case Setting::speed: setSpeed(value); break;
        case Setting::program: setProgram(value); break;
        case Setting::volume: setVolume(value); break;
        case Setting::pan: setPan(value); break;
        case Setting::key: setKey(static_cast<int16_t>(value & 255), (value & 256) != 0); break;
    }
}

bool BLSynthPanel::synthChoose(const std::string& sound)
{
    return chooseSynth(sound.c_str());
}

void BLSynthPanel::setKey(int16_t key, bool on)
{
    if (key < 0 || key >= kKeys) return;
    setting.keys[key] = on ? 1 : 0;
    showKey(key);
    if (autoStart && !playing) {
        autoStart = false;
        setControl(synthitem::autoStart, 0);
        setPlaying(true);
    }
    synth_activate();
    markChanged();
    showLevels();
}

void BLSynthPanel::ledsForArpKeys(const char* text)
{
    bool inScale[12] = {};
    for (const char* p = text ? text : ""; *p; ++p) {
        const int tone = scaleSemitone(*p);
        if (tone >= 0) inScale[(tone + (p[1] == 'd' ? 1 : 0)) % 12] = true;
    }
    std::fill(std::begin(scaleKeys), std::end(scaleKeys), uint8_t{255});
    int16_t n = 0;
    for (int16_t k = 0; k < kKeys; ++k)
        if (inScale[k % 12]) scaleKeys[n++] = static_cast<uint8_t>(k);
    if (documentKeys) {
        // The song of a document opens with the document's own keys.
        documentKeys = false;
        return;
    }
    for (int16_t k = 0; k < kKeys; ++k) {
        setting.keys[k] = inScale[k % 12] ? 1 : 0;
        showKey(k);
    }
    synth_activate();
}

int16_t BLSynthPanel::keyOfCharacter(uint8_t c) const
{
    // Two rows as on a piano: the lower row and its black keys play one
    // octave, the upper row the next; each row runs on a few keys.
    static const char* const rows[4] = {"zsxdcvgbhnjm", ",l.;/", "q2w3er5t6y7u", "i9o0p"};
    static const int16_t octaveOf[4] = {0, 1, 1, 2};
    const auto lower = static_cast<char>(std::tolower(c));
    if (lower == 0) return -1;
    for (int r = 0; r < 4; ++r)
        if (const char* at = std::strchr(rows[r], lower)) {
            const auto key = static_cast<int16_t>((keyboardOctave + octaveOf[r]) * 12 + (at - rows[r]));
            return key < kKeys ? key : static_cast<int16_t>(-1);
        }
    return -1;
}

void BLSynthPanel::shiftKeyboard(int16_t octaves)
{
    keyboardOctave = static_cast<int16_t>(std::clamp(keyboardOctave + octaves, 0, 1));
    showOctaves();
}

// ---- Controls' values ------------------------------------------------------------

void BLSynthPanel::setPlaying(bool on)
{
    playing = on;
    forgetSentPattern();
    if (on)
        synth_activate();
    else
        engine().synth_Stop();
    if (BLPlayer* p = player()) p->setSynthLed(on);
    setImage(synthitem::play, on ? 2 : 1);
    showLevels();
}

void BLSynthPanel::setMode(int16_t mode)
{
    setting.mode = std::clamp<int16_t>(mode, 0, 3);
    synth_activate();
    markChanged();
}

void BLSynthPanel::setSpeed(int16_t speed)
{
    setting.speed = std::clamp<int16_t>(speed, 0, 3);
    synth_activate();
    markChanged();
}

void BLSynthPanel::setProgram(int16_t program)
{
    setting.program = std::clamp<int16_t>(program, 0, kPrograms - 1);
    synth_activate();
    markChanged();
}

void BLSynthPanel::setVolume(int16_t volume)
{
    setting.volume = std::clamp<int16_t>(volume, 0, 127);
    engine().synth_SetVolume(setting.volume);
    markChanged();
    showLevels();
}

void BLSynthPanel::setPan(int16_t pan)
{
    setting.pan = std::clamp<int16_t>(pan, 0, 127);
    engine().synth_SetPan(setting.pan);
    markChanged();
    showLevels();
}

// ---- Sounds ------------------------------------------------------------------------

void BLSynthPanel::loadFolder(const char* name)
{
    // name may be loadedSynth itself.
    char held[kNameSize];
    std::snprintf(held, sizeof held, "%s", name ? name : "");
    std::memcpy(loadedSynth, held, sizeof loadedSynth);
    engine().synth_Stop();
    forgetSentPattern();
    // A name from a document is checked as song names are: it names a folder
    // of the synth library, never one elsewhere. Any other leaves the synth silent.
    const std::string folder =
        bltext::isPlainName(loadedSynth) ? std::string(kSynthFolder) + loadedSynth + ":" : "";
    engine().synth_SetFolder(folder.c_str());
}

bool BLSynthPanel::chooseSynth(const char* name)
{
    if (!name || !name[0]) return false;
    int16_t found = -1;
    for (int16_t i = 0; i < synthCount; ++i)
        if (std::strcmp(synthNames[i], name) == 0) found = i;
    if (found < 0) return false;
    std::snprintf(setting.synthName, sizeof setting.synthName, "%s", name);
    loadFolder(name);
    synth_activate();
    markChanged();
    setControl(synthitem::sound, found);
    return true;
}

int16_t BL_ListSynthSounds(char (*names)[BLSynthPanel::kNameSize], int16_t max)
{
    constexpr int kSize = BLSynthPanel::kNameSize;
    std::vector<KelFolderEntry> found;
    KEL_ListFolder(kSynthFolder, found);
    int16_t count = 0;
    for (const KelFolderEntry& e : found) {
        if (count >= max) break;
        // A name the kel form cannot address, or too long to keep, is left out.
        if (!e.folder || e.name.empty() || e.name[0] == '.' || e.name.size() >= kSize ||
            e.name.find(':') != std::string::npos)
            continue;
        std::snprintf(names[count++], kSize, "%s", e.name.c_str());
    }
    // Insertion sort, by bytes.
    for (int16_t i = 1; i < count; ++i) {
        char held[kSize];
        std::memcpy(held, names[i], kSize);
        int16_t j = i;
        for (; j > 0 && std::strcmp(names[j - 1], held) > 0; --j) std::memcpy(names[j], names[j - 1], kSize);
        std::memcpy(names[j], held, kSize);
    }
    return count;
}

void BLSynthPanel::loadSynthsList()
{
    synthCount = BL_ListSynthSounds(synthNames, kMaxSynths);
    fillPopups();
    if (synthCount > 0) chooseSynth(synthNames[0]);
}

// ---- Presets -------------------------------------------------------------------------

bool BLSynthPanel::synths_add()
{
    if (presetCount >= kBLSynthPresets) {
        setStatus(kMsgPresetsFull);
        return false;
    }
    if (!changed) {
        setStatus(kMsgPresetUnchanged);
        return false;
    }
    presets[presetCount] = setting;
    presetSelected = presetCount++;
    if (presetSelected >= presetFirst + synthitem::kPresetsShown)
        presetFirst = static_cast<int16_t>(presetSelected - synthitem::kPresetsShown + 1);
    changed = false;
    showPresets();
    char number[8];
    std::snprintf(number, sizeof number, "%d", presetSelected + 1);
    setStatus(kMsgPresetAdded, number);
    return true;
}

void BLSynthPanel::synths_hit(int16_t entry, bool remove)
{
    const int16_t index = static_cast<int16_t>(presetFirst + entry);
    if (entry < 0 || index >= presetCount) return;
    presetSelected = index;
    if (remove) {
        for (int16_t i = index; i + 1 < presetCount; ++i) presets[i] = presets[i + 1];
        presets[--presetCount] = BLSynthSetting{};
        presetSelected = static_cast<int16_t>(std::min<int>(index - 1, presetCount - 1));
        presetFirst = static_cast<int16_t>(std::max(presetFirst - 1, 0));
    } else {
        recall(presets[index]);
    }
    showPresets();
}

void BLSynthPanel::synths_scroll(int16_t step)
{
    const int last = std::max(presetCount - synthitem::kPresetsShown, 0);
    presetFirst = static_cast<int16_t>(std::clamp(presetFirst + step, 0, last));
    showPresets();
}

void BLSynthPanel::recall(const BLSynthSetting& s)
{
    if (std::strncmp(s.synthName, loadedSynth, sizeof loadedSynth) != 0) loadFolder(s.synthName);
    setting = s;
    setting.synthName[kNameSize - 1] = '\0';
    engine().synth_SetPan(setting.pan);
    engine().synth_SetVolume(setting.volume);
    synth_activate();
    changed = false;
    showAll();
}

// ---- Document ------------------------------------------------------------------------

void BLSynthPanel::iced_save(kelAtomsFile* file)
{
    BLSynthIce ice;
    ice.current = setting;
    std::copy(std::begin(presets), std::end(presets), std::begin(ice.presets));
    ice.presetCount = presetCount;
    uint8_t bytes[kBLSynthIceSize];
    ice.encode(bytes);
    if (file) file->write(kAtomSynth, kBLSynthIceSize, bytes);
}

bool BLSynthPanel::iced_load(kelAtomsFile* file)
{
    uint8_t bytes[kBLSynthIceSize];
    // Shorter than its size is cut short: none of it is taken.
    if (!file || !file->read(kAtomSynth, kBLSynthIceSize, bytes) || file->lastLength() < kBLSynthIceSize)
        return false;
    BLSynthIce ice;
    ice.decode(bytes);
    std::copy(std::begin(ice.presets), std::end(ice.presets), std::begin(presets));
    presetCount = ice.presetCount;
    presetSelected = -1;
    presetFirst = 0;
    recall(ice.current);
    documentKeys = true;
    return true;
}
