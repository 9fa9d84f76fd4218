// The small objects through which the groove panel's model reaches the
// player, the network link and the two strips of the panel, and through
// which the keeper of the user's work reaches the model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "panels/groove/BLGroovePanel.h"

class BLGroovePanel::PlayerLink : public BLGroovePlayer {
public:
    explicit PlayerLink(BLGroovePanel& p) : panel(p) {}
    bool isPlaying() override { return panel.player().playing; }
    bool isPlayingSequence() override { return panel.player().playing && panel.player().sequenceMode; }
    void play() override { panel.player().play(); }
    void stop() override { panel.player().stop(); }
    float bpm() override { return panel.player().bpm; }
    void setBpm(float tempo) override { panel.player().setBpm(tempo); }
    void gotSongBpm(short tempo) override { panel.player().gotSongBpm(tempo); }
    void setSync(bool on) override { panel.player().setSync(on); }
    void refreshCommon() override { panel.player().refreshCommon(); }

private:
    BLGroovePanel& panel;
};

class BLGroovePanel::NetLink : public BLGrooveNet {
public:
    explicit NetLink(BLNet& n) : net(n) {}
    void sendSample(int16_t t, int16_t g, int16_t s) override { net.sendSample(t, g, s); }
    void sendVolume(int16_t t, int16_t v) override { net.sendVolume(t, v); }
    void sendPan(int16_t t, int16_t p) override { net.sendPan(t, p); }

private:
    BLNet& net;
};

// A strip of eight entry controls showing the stored grooves (their ids) or
// the sequence (the ids it plays), from its first visible entry on.
class BLGroovePanel::Strip : public BLGrooveStrip {
public:
    Strip(BLGroovePanel& p, const int16_t* items, int16_t colourCode)
        : panel(p), controls(items), colour(colourCode)
    {
    }
    int16_t selection() const override { return selected; }
    void select(int16_t entry) override;
    int16_t scroll() const override { return first; }
    void setScroll(int16_t f) override;
    void refresh() override;
    void scrollBy(int16_t step);
    // Entries the strip holds: the stored grooves or the sequence entries.
    int16_t length() const;
    // The id shown at an entry; -1 beyond the end.
    int16_t idAt(int16_t entry) const;

    int16_t selected = 0;
    int16_t first = 0;

private:
    BLGroovePanel& panel;
    const int16_t* controls;
    int16_t colour;
};

// The keeper's view of the work: the model's document bytes, with what the
// panels add, and the document they belong to.
class BLGroovePanel::WorkSource : public BLWorkKeeper::Source {
public:
    explicit WorkSource(BLGroovePanel& p) : panel(p) {}
    std::vector<uint8_t> capture() override { return panel.model.encodeWork(); }
    std::string document() override { return panel.model.lastDocument.path; }
    bool apply(const std::vector<uint8_t>& bytes, const std::string& document) override
    {
        if (!panel.model.applyWork(bytes)) return false;
        panel.model.lastDocument.set(document.c_str());
        return true;
    }

private:
    BLGroovePanel& panel;
};
