// The keeper of the user's work: its history of changes (undo and redo) and
// whether it is saved. The work is read and put back as a document's bytes
// through the source (the groove model and what the panels add), so what can
// be undone is exactly what a document holds.
//
// Changes become steps at the end of each action of the user (a key, a
// click, a drag, a dialog's answer): everything one action changed is one
// step. Changes between actions that were not the user's (a sequence
// stepping to its next groove, the other player of the link) are taken in
// without a step. A step keeps only what it changed, so undoing or redoing
// it changes back only that, and what was taken in meanwhile stays.
//
// Threads: the main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "library/BLWorkChange.h"

class BLWorkKeeper {
public:
    // What the keeper works on.
    class Source {
    public:
        virtual ~Source() = default;
        // The work's document bytes now, and the document it belongs to.
        virtual std::vector<uint8_t> capture() = 0;
        virtual std::string document() = 0;
        // Puts the work back; false when it cannot be (its song is gone).
        virtual bool apply(const std::vector<uint8_t>& bytes, const std::string& document) = 0;
    };

    static constexpr size_t kSteps = 500;  // undo steps kept at most

    explicit BLWorkKeeper(Source& source);

    // The work as it is now starts afresh: no history; saved or not.
    void reset(bool saved);
    // An action of the user begins and ends (they nest: only the outermost
    // pair counts).
    void beginAction();
    void endAction();
    // The work as it is now becomes a step (a change made outside an
    // action that is the user's all the same); false when nothing changed.
    bool commit();
    // The work as it is now is taken in without a step.
    void absorb();

    bool canUndo() const { return position > 0; }
    bool canRedo() const { return position < steps.size(); }
    // The change undone or redone; kind `none` when there was nothing to do
    // or the work could not be put back (the history stays as it was).
    BLWorkChange undo();
    BLWorkChange redo();

    // The work as it is now is what its document holds, under this name
    // (after a save or an open); or it holds nothing worth keeping (a fresh
    // song), so nothing is asked before it goes.
    void markSaved(const std::string& document);
    void markClean();
    bool unsaved() const { return position != savedPosition; }
    // The work as last saved, while the history still leads to it; null else.
    const std::vector<uint8_t>* savedWork() const { return savedPosition == kNone ? nullptr : &savedBytes; }
    // Counts every change of the work taken in, step or not: the recovery
    // file is written again when it moved.
    uint64_t version() const { return changes; }
    // When the user last changed the work (seconds since 1970; 0: never).
    int64_t lastChanged() const { return changedAt; }
    // The current work's bytes as last taken in.
    const std::vector<uint8_t>& current() const { return now; }

private:
    // What one step changed: the 16-bit words of the document that differ,
    // or the whole documents when the step changed the document's size.
    struct Word {
        uint32_t at;
        uint16_t before, after;
    };
    struct Step {
        size_t size = 0;
        std::vector<Word> words;
        std::vector<uint8_t> before, after;
        std::string documentBefore, documentAfter;
    };
    static constexpr size_t kNone = static_cast<size_t>(-1);

    static Step difference(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);
    // The work now with the step made (forward) or unmade; false when the
    // work took another size since.
    bool replay(const Step& step, bool forward, std::vector<uint8_t>& out) const;
    BLWorkChange move(bool forward);
    void push(std::vector<uint8_t> bytes);

    Source& source;
    std::deque<Step> steps;
    std::vector<uint8_t> now;
    std::string nowDocument;
    std::vector<uint8_t> savedBytes;
    size_t position = 0;  // steps made
    size_t savedPosition = 0;
    int depth = 0;
    uint64_t changes = 0;
    int64_t changedAt = 0;
};
