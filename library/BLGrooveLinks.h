// What the groove model asks of the world around it. The groove panel
// implements these (or hands over the stock ones below); tests put fakes in.
// Every operation has a harmless default, so a link left out does nothing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "audio/fx/FxSettings.h"
#include "library/BLSongLibrary.h"

class BLEngine;
class kelAtomsFile;
struct BLWorkExtras;

// The player (transport and tempo).
class BLGroovePlayer {
public:
    virtual ~BLGroovePlayer() = default;
    virtual bool isPlaying() { return false; }
    virtual bool isPlayingSequence() { return false; }
    virtual void play() {}
    virtual void stop() {}
    virtual float bpm() { return 0.0f; }
    // A tempo restored from a document.
    virtual void setBpm(float) {}
    // A song was opened at this tempo.
    virtual void gotSongBpm(short) {}
    virtual void setSync(bool) {}
    // Shows the whole transport state again.
    virtual void refreshCommon() {}
};

// The network link's track reports.
class BLGrooveNet {
public:
    virtual ~BLGrooveNet() = default;
    virtual void sendSample(int16_t, int16_t, int16_t) {}
    virtual void sendVolume(int16_t, int16_t) {}
    virtual void sendPan(int16_t, int16_t) {}
};

// One of the two strips (stored grooves, sequence): 8 entries visible from
// the first visible one, one entry selected.
class BLGrooveStrip {
public:
    virtual ~BLGrooveStrip() = default;
    virtual int16_t selection() const = 0;
    virtual void select(int16_t entry) = 0;
    virtual int16_t scroll() const = 0;
    virtual void setScroll(int16_t first) = 0;
    // The entries changed: show them again.
    virtual void refresh() {}
};

// A strip that only remembers; the panel's strip control may take its place.
class BLStripState : public BLGrooveStrip {
public:
    int16_t selection() const override { return selected; }
    void select(int16_t entry) override { selected = entry; }
    int16_t scroll() const override { return first; }
    void setScroll(int16_t f) override { first = f; }

    int16_t selected = 0;
    int16_t first = 0;
};

// Messages to the user, by number of the message table. Answers: 1 OK or
// Yes, 2 No, 3 Cancel.
class BLGrooveQuestions {
public:
    virtual ~BLGrooveQuestions() = default;
    // kind 0: OK; 1: Yes/No.
    virtual int16_t notify(int16_t, int16_t) { return 1; }
    // The message with its "%s" standing for the song name, asked Yes/No.
    virtual int16_t notifySong(int16_t, const char*) { return 1; }
    // The message with its "%s" standing, in order, for the names (of files,
    // songs); kind as for notify.
    virtual int16_t notifyNames(int16_t, int16_t, std::initializer_list<std::string_view>) { return 1; }
};

// The message boxes of the program (BL_Notify, KEL_UserNotify).
class BLNotifyQuestions : public BLGrooveQuestions {
public:
    int16_t notify(int16_t message, int16_t kind) override;
    int16_t notifySong(int16_t message, const char* songName) override;
    int16_t notifyNames(int16_t message, int16_t kind,
                        std::initializer_list<std::string_view> names) override;
};

// What the panel shows of the model; called after the model changed.
class BLGrooveView {
public:
    virtual ~BLGrooveView() = default;
    // groove_show: every track's sample, label and light, and the selected
    // track's controls.
    virtual void showGroove() {}
    // The selected track's controls.
    virtual void showSelectedTrack() {}
    // A groove is restored: every track's light on; solo, group, all off.
    virtual void restoreTracks() {}
    // A document is thawed: solo, group and all modes off.
    virtual void modesOff() {}
    // The selected track changed.
    virtual void trackSelected() {}
    // A song was opened: its arpeggio notes, title and group menus.
    virtual void songOpened() {}
    // A document of this version was read (the song browser makes way).
    virtual void documentRead() {}
    // What the user made beyond the model (track lights, modes, keep marks,
    // key lock, the user loop): taken for documents and the keeper, and put
    // back from them.
    virtual void captureExtras(BLWorkExtras&) {}
    virtual void applyExtras(const BLWorkExtras&) {}
};

// The synth panel's part of a groove document: the 'syic' atom.
class BLSynthDocument {
public:
    virtual ~BLSynthDocument() = default;
    virtual void iced_save(kelAtomsFile* file) = 0;
    // Reads the atom and, when it was read, applies it.
    virtual bool iced_load(kelAtomsFile* file) = 0;
};
