// The user's preferences, one global object, kept in the resource file
// "Beatloom.prf" of the program folder (the current folder once the program
// has started). Every preference is one typed item, so items can be added or
// missing without breaking older files. Numbers are stored little-endian.
//
//   'mwin' 0      8  main window rectangle (left, top, right, bottom)
//   'otyp' 0      4  export format code
//   'olen' 0      4  length of the export settings block
//   'odat' 0  'olen' export settings block
//   'usrr' 0..3   2  random-set levels
//   'mtrm' 0      2  mix target
//   'intc' 0      2  interface colour
//   'nrml' 0      2  loudness normalisation of disk mixes (0 off, 1 on)
//   'rsmq' 0      2  resampling of disk mixes (0 classic, 1 high quality)
//   'vmxo' 0      6  virtual mixes: styles taking part (bit a style), each
//                    mix's length in list entries (0: as written), number
//                    of groups left out
//   'vmxg' 0..31 32  the name of each group left out, zero-padded
//   'htip' 0      2  tooltips outside help mode: 1 on, 0 off
//   'netl' 0     68  network link: mode, port, address (64 bytes, NUL-padded)
//   'neti' 0     32  this installation's identity on the link (hexadecimal)
//   'nett' 0..15 32  identities of the players let in without asking
//   'klck' 0      2  key lock: 1 on, 0 off
//   'dfld' 0   1..  the folder of the last document opened or saved (a kel
//                    path, without its end), where the next dialog starts
//   'lgrd' 0      2  launch grid of synchronised changes (audio/LaunchGrid.h:
//                    0 cycle, 1 beat, 2 bar, 3 two, 4 four, 5 eight bars)
//   'ocrd' 0 1..255 the sound card by its system name; none: the system's default
//   'oprd' 0      2  the card's period in frames: 128, 256, 512, 1024, 2048 or 4096
//   'midb' 0   0..  the MIDI controllers' bindings, as the lines of a mapping
//                    file (library/BLMidiBindings.h); taken whole or not at all
//   'lnk1' 0      2  Ableton Link: 1 joined, 0 off
//   'mcko' 0      2  MIDI clock out on a port of the program's own: 1 on, 0 off
//   'mcki' 0      2  MIDI clock in: 0 off, 1 the program's own input port,
//                    2 the port named in 'mckn' (a BLMidiFrom)
//   'mckn' 0 1..255 the port clock in follows, by its system name
//   'mctl' 0      2  MIDI controllers' input, as 'mcki'
//   'mctn' 0 1..255 the controllers' port, by its system name
//   'jtrn' 0      2  JACK transport followed (start, stop, place the groove): 1 on, 0 off
//   'oscp' 0      2  the UDP port OSC control listens on (unsigned); 0 off
//   'stsz' 0      2  the stage's size in the window: 0 fit, or 100, 150, 200,
//                    300 (percent); none until the user chooses one, which
//                    leaves it to the window (a desktop window fits)
#pragma once

#include <cstdint>
#include <string>

#include "core/kelFiles.h"
#include "core/kelGeometry.h"
#include "core/kelQt.h"
#include "library/BLMidiBindings.h"
#include "library/BLVMix.h"

class KelResFile;

constexpr char kBLPrefsFileName[] = "Beatloom.prf";
// A damaged preferences file is kept under its name with this added.
constexpr char kBLPrefsDamagedSuffix[] = ".damaged";
constexpr int kBLRandomLevels = 4;
constexpr int kBLNetAddressSize = 64;
constexpr uint16_t kBLNetDefaultPort = 7460;
constexpr int kBLNetIdentitySize = 33;  // 32 hexadecimal digits and the end
constexpr int kBLNetTrustedMax = 16;
constexpr int kBLOutputCardSize = 256;  // a card's name and its end
// The sound card's periods on offer, in frames.
constexpr int16_t kBLOutputFrames[] = {128, 256, 512, 1024, 2048, 4096};
constexpr int16_t kBLOutputFramesDefault = 512;
constexpr int kBLMidiPortSize = 256;  // a MIDI port's name and its end

// Where a MIDI input listens.
enum BLMidiFrom : int16_t {
    kBLMidiOff = 0,
    kBLMidiOwnPort = 1,    // a port of the program's own that others connect to
    kBLMidiNamedPort = 2,  // that port, connected to another program's port by name
};

class blPrefsClass {
public:
    blPrefsClass();
    ~blPrefsClass();
    blPrefsClass(const blPrefsClass&) = delete;
    blPrefsClass& operator=(const blPrefsClass&) = delete;

    // Reads the file; a missing or unreadable file, or a missing item,
    // leaves the values as they are. A value outside its range is not taken.
    void load();
    // Writes a fresh file holding every item (and the items of other
    // builds the old file held), put in place whole; a damaged old file is
    // set aside first. False when nothing could be written.
    bool save();
    // The same for a choice the person just made: a failure is told, with
    // why (the disk full or read-only ...); the choices hold meanwhile.
    bool saveTelling();

    // The file used; tests point it elsewhere.
    const char* fileName = kBLPrefsFileName;

    kelRect mainWindow;
    kelQtSettingsHandle exportSettings;
    uint32_t exportFormat;
    int16_t randomLevels[kBLRandomLevels];  // 3 .. 7 each
    int16_t mixTarget;                      // 0: one file; 1: a file per group
    int16_t interfaceColor;                 // 0 .. 7
    int16_t normalize;                      // 0 off, 1 on
    int16_t resampleQuality;                // 0 classic, 1 high quality
    BLVMixSettings vmix;
    // A plain tooltip after the mouse rests a second on a control, outside
    // help mode (1, the default) or none (0). The preferences panel shows it
    // as a checkbox and switches it with BLHelps::setTooltips (panels/help/BLHelps.h),
    // which also takes away a tooltip showing at that moment.
    int16_t tooltips;
    // The network link: mode (0 off, 1 connect, 2 listen), the port to
    // listen on or connect to (0: any free port when listening), the
    // address to connect to.
    int16_t netMode;
    uint16_t netPort;
    char netAddress[kBLNetAddressSize];
    // This installation's identity on the link: made once, at random, by
    // the link; empty until then. The players the user lets in without
    // asking, by their identities (never by address).
    char netIdentity[kBLNetIdentitySize];
    char netTrusted[kBLNetTrustedMax][kBLNetIdentitySize];
    int16_t netTrustedCount;
    // Key lock: the mix tempo changes the tempo and not the key.
    int16_t keyLock;
    // Ableton Link: 1 joined (tempo, beat and start shared), 0 off.
    int16_t link;
    // Where loop and groove changes land (a LaunchGrid code, 0 the cycle).
    int16_t launchGrid;
    // The sound card ("" the system's default) and its period in frames.
    char outputCard[kBLOutputCardSize];
    int16_t outputFrames;
    // The stage's size in the window (kelCore.h KEL_SetStageSize), -1 until chosen.
    int16_t stageSize;
    // JACK's transport starts, stops and places the groove (while playing through JACK).
    int16_t jackTransport;
    // The UDP port OSC control listens on; 0: off.
    uint16_t oscPort;
    // MIDI: clock out (1 on), clock in and the controllers' input (a
    // BLMidiFrom each, with the port's name for kBLMidiNamedPort).
    int16_t midiClockOut;
    int16_t midiClockIn;
    char midiClockInPort[kBLMidiPortSize];
    int16_t midiControl;
    char midiControlPort[kBLMidiPortSize];
    // Whether the controllers listen, and to which port ("" the program's own only).
    bool midiControlFrom(std::string& port) const;
    // The same for clock in.
    bool midiClockFrom(std::string& port) const;
    // The folder of the last document ("" before the first).
    char documentFolder[kKelPathMax + 1];
    // What the notes and CCs of MIDI controllers drive.
    BLMidiBindings midiBindings;

private:
    void loadNetLink(KelResFile& file);
    void loadNetIdentities(KelResFile& file);
    void loadOutput(KelResFile& file);
    void loadMidiBindings(KelResFile& file);
    void loadMidi(KelResFile& file);
};

extern blPrefsClass blPrefs;
