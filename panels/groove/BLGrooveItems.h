// The groove panel's control numbers: its layouts (1, 2 and 8 in the skin
// sources) place an item for each. The track controls' numbers are fixed;
// the others are this panel's own choice, listed in the layout sources too.
#pragma once

#include <cstdint>

namespace grooveitem {

constexpr int16_t kTracks = 8;

// Fixed numbers, per track 0 .. 7.
constexpr int16_t groupMenu[kTracks] = {77, 78, 79, 80, 81, 82, 83, 84};
constexpr int16_t loopMenu[kTracks] = {94, 76, 92, 90, 87, 88, 98, 91};
constexpr int16_t trackLight[kTracks] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int16_t meter[kTracks] = {45, 46, 47, 48, 49, 51, 52, 53};
// Random sets 0 .. 3.
constexpr int16_t randomButton[4] = {21, 20, 19, 18};

// The main layout's own controls.
constexpr int16_t quit = 1;
constexpr int16_t title = 2;
constexpr int16_t play = 3;
constexpr int16_t seqPlay = 4;
constexpr int16_t bpmLabel = 5;
constexpr int16_t bpmDown = 6;
constexpr int16_t bpmUp = 7;
constexpr int16_t bpmScroll = 8;
constexpr int16_t tap = 9;
constexpr int16_t mainVolume = 10;
constexpr int16_t mainVolumeLabel = 11;
constexpr int16_t positionLabel = 12;
constexpr int16_t stateLabel = 13;
constexpr int16_t syncLight = 14;
constexpr int16_t songLabel = 15;
constexpr int16_t randomName = 16;
constexpr int16_t empty = 17;
constexpr int16_t solo = 22;
constexpr int16_t group = 23;
constexpr int16_t all = 24;
constexpr int16_t keep = 25;
constexpr int16_t positionLight[8] = {34, 35, 36, 37, 38, 39, 40, 41};
constexpr int16_t volume = 42;
constexpr int16_t pan = 43;
constexpr int16_t volumeLabel = 44;

// The second layout's own controls.
constexpr int16_t trackButton[kTracks] = {54, 55, 56, 57, 58, 59, 60, 61};
constexpr int16_t panLabel = 62;
constexpr int16_t vmix = 63;
constexpr int16_t synth = 64;
constexpr int16_t net = 65;
constexpr int16_t tuner = 66;
constexpr int16_t library = 67;
constexpr int16_t prefs = 68;
constexpr int16_t info = 69;
constexpr int16_t save = 70;
constexpr int16_t load = 71;
constexpr int16_t synthLight = 72;
constexpr int16_t help = 73;
// Key lock, beside the tempo.
constexpr int16_t keyLock = 85;
// The launch grid beside Play: its button, and the grid's name over it.
constexpr int16_t launchGrid = 86;
constexpr int16_t launchGridLabel = 89;
// Record, beside Remove.
constexpr int16_t record = 97;
// The takes' menu, beside Record: play or remove a take.
constexpr int16_t takes = 99;

// The third layout: the two strips and their buttons.
constexpr int16_t kStripEntries = 8;
constexpr int16_t grooveEntry[kStripEntries] = {100, 101, 102, 103, 104, 105, 106, 107};
constexpr int16_t sequenceEntry[kStripEntries] = {110, 111, 112, 113, 114, 115, 116, 117};
constexpr int16_t store = 120;
constexpr int16_t rewrite = 121;
constexpr int16_t addAll = 122;
constexpr int16_t removeAll = 123;
constexpr int16_t groovesLeft = 124;
constexpr int16_t groovesRight = 125;
constexpr int16_t sequenceLeft = 126;
constexpr int16_t sequenceRight = 127;
constexpr int16_t removeGroove = 128;
// The hint line under the strips.
constexpr int16_t hint = 129;
constexpr int16_t diskMix = 130;
// Over each track's lamp: the beats until its waiting change is heard.
constexpr int16_t waitCount[kTracks] = {131, 132, 133, 134, 135, 136, 137, 138};
// At the end of each track's row, and beside the main volume: the effects.
constexpr int16_t fxButton[kTracks] = {140, 141, 142, 143, 144, 145, 146, 147};
constexpr int16_t fxMain = 148;

}  // namespace grooveitem
