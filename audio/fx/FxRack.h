// The racks the mixer runs: a track's two slots, or the main mix's, and the
// board of all nine with what the main thread knows of them.
//
// Threads: a board belongs to the main thread (or to the one thread of an
// offline render), its racks to the thread that runs them. A unit changes
// hands through an atomic pointer per slot (the main thread's newest waits
// there; one never taken is freed by the main thread when a newer one takes
// its place), a parameter through the unit's own queue, and a unit let go
// of comes back through a fixed queue the main thread empties in service().
// Nothing on the running side allocates, locks or frees.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxSettings.h"
#include "audio/fx/FxUnit.h"

// Frames a change of effect or of bypass crosses over in.
constexpr int kFxCrossFrames = 512;

class FxRack {
public:
    FxRack();
    FxRack(const FxRack&) = delete;
    FxRack& operator=(const FxRack&) = delete;

    // The running side. Something to run (a unit, one leaving, one waiting);
    // busyBefore: the same, but a unit waiting only when it is due before
    // `frame` (a rack with nothing to run before then is left alone).
    bool busy() const;
    bool busyBefore(int64_t frame) const;
    // The earliest frame something waits for (kFxNotDue when nothing does).
    int64_t dueNext() const;
    // Takes what is due at `frame` or before.
    void take(int64_t frame);
    // Runs n frames (at most kFxMaxBlock), the first at `frame`, through the
    // slots, in place.
    void run(float* left, float* right, int n, const FxContext& c, int64_t frame);
    // take and run over n frames from timeline frame `frame`, each change on its frame.
    void runFrom(float* left, float* right, int n, const FxContext& c, int64_t frame);

private:
    friend class FxBoard;
    struct Later {
        int64_t due;
        FxParamQueue::Change change;
    };
    struct Slot {
        std::atomic<FxUnit*> waiting{nullptr};
        FxUnit* unit = nullptr;     // heard
        FxUnit* leaving = nullptr;  // crossing over to `unit`
        float cross = 1.0f;         // 1: nothing crosses over
        bool bypass = false;
        float wet = 1.0f;
        std::array<Later, 128> later{};  // values due at a frame to come
        int laterCount = 0;
        std::vector<float> dry, a, b;  // stereo scratch, planar
    };
    void runSlot(Slot& s, float* left, float* right, int n, const FxContext& c);
    void drain(Slot& s, int64_t frame);
    bool retire(FxUnit* u);

    Slot slots_[kFxSlots];
    // Units let go of, for the main thread to free.
    std::array<FxUnit*, 64> retired_{};
    std::atomic<uint32_t> retiredWrite_{0};
    std::atomic<uint32_t> retiredRead_{0};
    // Where the playback started: a unit due there comes in whole, heard
    // from the first frame, with nothing to cross over from.
    int64_t start_ = 0;
};

constexpr int64_t kFxNotDue = INT64_MAX;

class FxBoard {
public:
    FxBoard();
    ~FxBoard();
    FxBoard(const FxBoard&) = delete;
    FxBoard& operator=(const FxBoard&) = delete;

    // Rack 0 to 7 a track, kFxMain the main mix; slot 0 or 1. Out of range: nothing.
    // Puts the settings in the slot from timeline frame `due` on (kFxAtOnce:
    // at once). The same effect keeps its unit and takes the new values
    // (gliding); another one, or another state, makes a new unit that the
    // old crosses over to. What could not be taken as it was is returned.
    std::vector<FxNote> set(int rack, int slot, const FxSlot& s, int64_t due, const FxUnitPlace& place);
    // One parameter (by name) or the bypass, at once; false when the slot
    // has no such parameter.
    bool setParam(int rack, int slot, const std::string& name, float value);
    void setBypass(int rack, int slot, bool on);
    void clear(int rack, int slot, int64_t due = kFxAtOnce);
    // The settings as set; capture() adds a plugin's state as it is now.
    const FxSlot& slot(int rack, int slot) const;
    FxSlot capture(int rack, int slot);
    FxSetup captureAll();
    // Whether any slot holds an effect (running or not).
    bool anySet() const;
    // The main thread's round: frees what the racks let go of and sends the
    // values that did not fit their queues.
    void service();
    // Every unit back to silence (delays and reverbs emptied) for a
    // playback that starts at timeline frame `start`: only while no thread
    // runs the racks.
    void resetSound(int64_t start);
    // Every slot emptied at once and every unit freed: only while no
    // thread runs the racks.
    void clearAll();

    FxRack& rack(int r) { return racks_[r]; }
    // Units made and not yet freed (taken, waiting or let go of).
    size_t unitsHeld() const { return owned_.size(); }

private:
    struct Sent {
        FxSlot settings;
        FxUnit* unit = nullptr;  // the newest handed over (null: none, or it cannot run)
        const FxEffectInfo* info = nullptr;
        bool stateUnread = false;  // the settings' state could not be read: kept as it came
        std::vector<FxParamQueue::Change> unsent;
    };
    void hand(int rack, int slot, FxUnit* unit);
    void send(Sent& s, FxParamQueue::Change c, int64_t due);
    static bool valid(int rack, int slot);

    FxRack racks_[kFxRacks];
    Sent sent_[kFxRacks][kFxSlots];
    // Every unit made and not yet freed, so that none is lost.
    std::vector<std::unique_ptr<FxUnit>> owned_;
};

// The live engine's board (the mixer runs its racks).
FxBoard& Fx_LiveBoard();
