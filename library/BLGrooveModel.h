// The groove panel's model: the current song's library, the current groove,
// the stored grooves and their sequence, the ice image, and the operations
// that store, restore, activate and sequence grooves. It knows nothing of
// controls: what it needs from outside goes through the links, and what the
// panel should show again is announced through the view.
//
// Threads: the main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/kelPath.h"
#include "library/BLDocument.h"
#include "library/BLGroove.h"
#include "library/BLGrooveLinks.h"
#include "library/BLSongLibrary.h"
#include "library/BLSynthIce.h"

class BLPath;

// Message numbers of the message table the model shows.
constexpr int16_t kBLMsgCannotOpenDocument = 4;
constexpr int16_t kBLMsgCannotSaveDocument = 6;
constexpr int16_t kBLMsgRemoveAllGrooves = 16;
constexpr int16_t kBLMsgSongMissing = 17;
// Messages that name a file or a song ("%s" in order).
constexpr int16_t kBLMsgDocumentUnreadable = 100;  // document
constexpr int16_t kBLMsgDocumentCutOff = 101;      // document
constexpr int16_t kBLMsgDocumentVersion = 102;     // document, version
constexpr int16_t kBLMsgDocumentTempo = 103;       // document
constexpr int16_t kBLMsgDocumentIncomplete = 560;  // document
constexpr int16_t kBLMsgDocumentSynth = 561;       // document
constexpr int16_t kBLMsgDocumentExtras = 562;      // document
constexpr int16_t kBLMsgDocumentNotSaved = 563;    // document, why, what was kept
constexpr int16_t kBLMsgSongTempo = 104;           // song, description
constexpr int16_t kBLMsgLoopsUnreadable = 105;     // song, loop files
constexpr int16_t kBLMsgEffectsNotAsStored = 520;  // document, what
constexpr int16_t kBLMsgEffectsDamaged = 521;      // document
// How one effect is not as stored: the effect, and a parameter for 525, 526.
constexpr int16_t kBLMsgEffectUnknown = 522;
constexpr int16_t kBLMsgEffectMissing = 523;
constexpr int16_t kBLMsgEffectUnusable = 524;
constexpr int16_t kBLMsgEffectOutOfRange = 525;
constexpr int16_t kBLMsgEffectUnknownParam = 526;
constexpr int16_t kBLMsgEffectBadState = 527;
constexpr int16_t kBLMsgEffectFailed = 528;
constexpr int16_t kBLMsgTakesDamaged = 580;  // document

// Links the owner provides; any left null is a link that does nothing, except
// the engine, which is the facade `gep`.
struct BLGrooveLinks {
    BLEngineCalls* engine = nullptr;
    BLGroovePlayer* player = nullptr;
    BLGrooveNet* net = nullptr;
    BLGrooveStrip* grooveStrip = nullptr;
    BLGrooveStrip* sequenceStrip = nullptr;
    BLGrooveQuestions* questions = nullptr;
    BLGrooveView* view = nullptr;
    BLSynthDocument* synth = nullptr;
};

// What happens to an entry of a strip.
enum class BLStripGesture : int16_t {
    click,           // a plain click
    dragOff,         // dragged off the strips: removed
    dropOnSequence,  // dropped on the sequence strip at a visible position
};

class BLGrooveModel {
public:
    BLGrooveModel();
    explicit BLGrooveModel(const BLGrooveLinks& links);
    ~BLGrooveModel();
    void setLinks(const BLGrooveLinks& links);
    // The synth panel's part of documents, once it exists.
    void setSynthDocument(BLSynthDocument* synth) { links.synth = synth; }

    // Opening a song: the engine stopped and set to 44100 Hz, the current
    // groove reset, the description loaded from `folder` (a kel path ending
    // in ':'), the samples list filled, then the player and the view told.
    // False when no description was found: the song open before stays.
    bool openSong(const char* folder);
    // No song open: the engine stopped and its samples list emptied, the
    // library, grooves, sequence and current groove empty, the view told.
    void closeSong();
    // The open song's folder name ("" when none).
    std::string songName() const;

    // Auditions of other songs. The first auditionBegin keeps the open song
    // aside with its grooves, sequence, current groove, selected track and
    // tempo, then opens `folder`; auditionEnd opens the kept song again and
    // puts all of it back (no song, when none was open or it is gone);
    // auditionKeep makes the auditioned song the open one.
    bool auditionBegin(const char* folder);
    void auditionEnd();
    void auditionKeep();
    bool auditioning() const { return auditionKept != nullptr; }
    // The song the user works on: the one kept aside by an audition, else
    // the open one ("" when none).
    std::string userSongFolder() const;
    // That song's title as its description gives it (its folder's name
    // without one); "" when none.
    std::string userSongTitle() const;

    // The engine's sample id of a track: the library's id of its group and
    // slot, kBLNoSample when either is not set.
    uint16_t trackSampleId(int16_t track) const;
    // The user chose a loop for a track: it takes the slot's volume and pan.
    void chooseLoop(int16_t track, int16_t group, int16_t slot);

    void groove_store();
    void groove_activate(int16_t track);
    void groove_activate();
    // A loop or groove the user chooses while the groove plays: heard from
    // the next boundary of the launch grid, all its tracks together (on the
    // cycle, each loop from its own next turn). -1: the whole groove.
    void groove_launch(int16_t track = -1);
    void groove_show();
    void groove_activateAndShow();
    void groove_restore();
    void grooves_add();
    void grooves_rewrite();
    void grooves_remove();
    // item: 0 .. 7, the visible position hit; `at`: the visible position on
    // the sequence strip for a drop.
    void grooves_hit(int16_t item, BLStripGesture gesture = BLStripGesture::click, int16_t at = 0);
    void sequencer_addAll();
    void sequencer_removeAll(bool shiftHeld);
    // A drop on the sequence strip moves the entry to the visible position
    // `at`, kept within the entries.
    void sequencer_hit(int16_t item, BLStripGesture gesture = BLStripGesture::click, int16_t at = 0);
    void seqActivateNext();
    void sync_SetMode(bool on);
    void iced_store();
    void iced_restore(bool keepSong);

    // Documents. The Result forms check the dialog's answer first.
    void saveResult(BLPath* path);
    void loadResult(BLPath* path);
    // The path gets the extension "bld" and becomes the last document. A
    // failure is asked about, or, given `why`, put there for the caller
    // (a session manager waits for no box).
    bool saveDocument(const char* path, std::string* why = nullptr);
    // True when the document was read and its song opened; false, with the
    // work left as it was, otherwise (a message said why).
    bool loadDocument(const char* path);

    void selectTrack(int16_t track);

    // The user's work as a document holds it: what an audition or a virtual
    // mix holds aside stands in for what plays meanwhile.
    void workImage(BLIceimage& image);
    // The work's document bytes, with a recovery note when given.
    std::vector<uint8_t> encodeWork(const BLRecoveryNote* note = nullptr);
    // Puts the work of these bytes back as it was, heard at once when
    // playing (its song opened again when another one is open). False, with
    // nothing changed, when the bytes are no document or its song cannot be
    // opened.
    bool applyWork(const std::vector<uint8_t>& bytes);
    // A virtual mix plays its own grooves in the model: the user's stored
    // grooves, sequence and current groove are held aside until it ends,
    // kept (restore) or replaced by the mix's.
    void holdWork();
    void releaseWork(bool restore);
    bool workHeld() const { return held != nullptr; }

    // The open song's library: one object for the model's life.
    BLSongLibrary& library() { return *songLibrary; }
    const BLSongLibrary& library() const { return *songLibrary; }

    BLGroove current;
    bool modified = false;
    BLSequence stored;
    bool audible[kBLGrooveTracks];
    uint16_t sampleIds[kBLGrooveTracks];
    int16_t selectedTrack = 0;
    bool syncMode = false;
    BLIceimage ice;
    kelPath songFolder;    // the open song's folder, "" before the first
    kelPath lastDocument;  // "Untitled" until a document is saved or loaded

private:
    BLEngineCalls& engine();
    BLGroovePlayer& player();
    BLGrooveNet& net();
    BLGrooveStrip& grooveStrip();
    BLGrooveStrip& sequenceStrip();
    BLGrooveQuestions& questions();
    BLGrooveView& view();
    BLSynthDocument& synth();

    struct Kept;
    struct Held;
    // openSong, telling nothing when `quiet` (a song put back).
    bool openSongAs(const char* folder, bool quiet);
    // The document's name for messages.
    std::string documentName() const;
    // Says once what the document's effects hold that cannot be heard as
    // stored (and that their atom was damaged).
    void sayEffects(const BLIceimage& read, bool damaged, const std::string& document);
    void removeSequenceEntry(int16_t index);
    void insertSequenceEntry(int16_t index, uint16_t id);

    std::unique_ptr<BLSongLibrary> songLibrary;
    std::unique_ptr<Kept> auditionKept;
    std::unique_ptr<Held> held;
    // Why the last openSong failed: a message already said so.
    bool openProblemShown = false;
    BLGrooveLinks links;
    BLEngineCalls facade;
    BLGroovePlayer noPlayer;
    BLGrooveNet noNet;
    BLStripState ownGrooveStrip;
    BLStripState ownSequenceStrip;
    BLGrooveQuestions noQuestions;
    BLGrooveView noView;
    BLSynthDefaultDocument defaultSynth;
};
