// The network link: what the user does on the groove panel and in the song
// browser, as short text messages for the transport; and on the receiving
// side, the messages of the other instance applied to this one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "audio/fx/FxSettings.h"
#include "net/BLBeatLine.h"
#include "net/BLNetMessage.h"
#include "net/kelTalk.h"
#include "net/kelTalkTcp.h"

struct BLGroove;

// Link modes (the network panel's mode item steps through them).
enum : int16_t { kBLNetOff = 0, kBLNetConnect = 1, kBLNetListen = 2 };
// A track's use: shared both ways, played here (the other side follows), or
// played there (this side follows).
enum : int16_t { kBLUseShared = 0, kBLUseMine = 1, kBLUseTheirs = 2 };

// What the link asks of the program it mirrors; the groove controller gives
// it, taking each change as the link's own, so that it is not told back.
// Calls come on the main thread, from idleEvents().
class BLNetHost {
public:
    virtual ~BLNetHost() = default;
    // The open song's folder name; empty when none.
    virtual std::string songName() = 0;
    // The library here has a song of this folder name.
    virtual bool hasSong(const char* name) { return name && name[0]; }
    // Opens the song of this folder name, as the other side did; false when
    // it is not here or the user keeps the work open here.
    virtual bool loadSong(const char* name) = 0;
    virtual const BLGroove& groove() = 0;
    virtual bool playing() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual float tempo() = 0;
    // A tempo from the other side, taken as a tempo set here would be:
    // false, and nothing changed, when it is outside the song's window.
    virtual bool setTempo(float bpm) = 0;
    // The beat 0 to 31 of the cycle being mixed; -1 when not playing.
    virtual int beat() = 0;
    // Beats since playing started, with their fraction; -1 when not playing.
    virtual double position() = 0;
    // The mix tempo alone, the tempo shown staying as it is.
    virtual void pace(float) {}
    // The next play is heard from `atMs` (plat::monotonicMs) on, where the
    // sound output can place it so; false where it cannot.
    virtual bool placeStartAt(double) { return false; }
    // False when the song has no such group or loop.
    virtual bool setSample(int16_t track, int16_t group, int16_t slot) = 0;
    virtual void setVolume(int16_t track, int16_t volume) = 0;
    virtual void setPan(int16_t track, int16_t pan) = 0;
    // A track heard, or muted.
    virtual bool audible(int16_t) { return true; }
    virtual void setAudible(int16_t, bool) {}
    // A slot's effect (rack 8: the main mix's; "" empties it) and its
    // bypass, one of its parameters.
    virtual void setEffect(int16_t, int16_t, const std::string&, bool) {}
    virtual void setEffectParam(int16_t, int16_t, const std::string&, float) {}
    // Shall the player at this address be let in?
    virtual bool ask(const char* address) = 0;
    // The user is in the middle of a gesture: the link waits.
    virtual bool busy() { return false; }
    // The song browser is shown, or a song in it is auditioned: what this
    // side plays is not told meanwhile.
    virtual bool holding() { return false; }
    // The link's state changed (the network panel shows it).
    virtual void changed() {}
};

class BLNet : public kelTalk {
public:
    // Where the link stands, as the network panel tells it.
    enum class Status : uint8_t {
        Off,
        Listening,
        Asking,
        Connecting,
        Waiting,
        Linked,
        Lost,
        Failed,
        Busy,
        Refused
    };

    BLNet();
    ~BLNet() override;

    void sendSample(int16_t track, int16_t group, int16_t slot);
    void sendVolume(int16_t track, int16_t volume);
    void sendPan(int16_t track, int16_t pan);
    void sendOn(int16_t track, bool on);
    void sendUse(int16_t track, int16_t use);
    // What of a slot differs from what the other side has (its plugin's own
    // state stays here).
    void sendEffect(int16_t rack, int16_t slot, const FxSlot& settings);
    void sendPlay();
    void sendStop();
    void sendSong(const char* name);
    // Each engine track's loop, volume and pan, as when a groove is activated.
    void sendGroove(const BLGroove& groove);
    // A song loaded from the song browser: its folder name, stop, its tracks
    // as `groove` has them, then play.
    void sendSongLoaded(const char* name, const BLGroove& groove);

    // Listens on the port of the settings, when the settings' mode is listen.
    void startListen();
    // Connects to the address and port of the settings; false without one.
    bool startConnect();
    // Starts what the settings' mode says.
    void startFromConfig();
    // Takes what the transport received, lets peers in, starts a play that
    // waits for its beat, and keeps the other side told of what plays here.
    void idleEvents();

    bool close() override;
    // Every track's messages are sent again.
    void setFullUse();
    // The network panel stepped a track's use: the other side is told and
    // takes the mirror of it.
    void setUse(int16_t track, int16_t use);

    // The transport's operations reach the link's transport when one is open.
    bool send(const char* text) override;
    bool received(char* text) override;
    bool isConnected() override;
    bool isDisconnected() override;
    bool getLocalAddress(char* text) override;
    bool getRemoteAddress(char* text) override;

    void setHost(BLNetHost* h) { host = h; }
    // This side's beat is kept on the other side's clock.
    bool followingBeat() const { return following; }
    // One line as the transport would hand it over at `at` (monotonic ms):
    // applied when it is a whole message, else dropped and counted.
    bool hear(const char* text, size_t length, double at);

    // This installation's identity on the link, made the first time it is asked for.
    static const char* identity();
    // The linked player is let in without asking from now on, or asked again.
    bool canTrust() const;
    bool trusted() const;
    void setTrusted(bool on);

    uint8_t sendFlags[8];
    // The last message formed.
    char message[kBLNetTextMax] = {};

    // What the network panel shows.
    int16_t mode = kBLNetOff;
    int16_t use[8] = {};
    Status status = Status::Off;
    std::string peer;    // the other side's address
    std::string reason;  // why the link failed or was lost; the song that is not here
    // Listening: the last player sent away that tried again and was sent away
    // unasked (its answer holds until listening starts again); "" when none.
    std::string sentAwayAgain;
    // The other side plays a song this side does not: it is not in the
    // library here (or the user kept the work open here).
    bool songMissing = false;
    // ...and whether the library here has it.
    bool songHere = false;
    // The link went quiet and was closed.
    bool silent = false;
    uint16_t port() const;
    // Lines dropped: not a whole message, or too long.
    long dropped() const;
    // Grows at every change the panel shows.
    uint32_t serial = 0;
    // Time between two tries of the connecting side (tests make it short).
    int retryMs = 2000;

private:
    // What the other side has of a track, as far as this side knows.
    struct Mirror {
        bool known = false;
        int16_t group = -1, slot = -1, volume = 0, pan = 0;
        bool on = true;
    };
    // A track of the other side's song, kept until this side takes that song.
    struct Waiting {
        bool sample = false, volume = false, pan = false, on = false;
        int16_t group = -1, slot = -1, level = 0, balance = 0;
        bool heard = true;
    };

    bool trackSends(int16_t track) const;
    bool holdingOwn() const;
    bool sendMessage();
    void setStatus(Status s, std::string why = {});
    void openTransport(const char* address, Status next);
    void forgetPeer();
    void takeAndTell(double now);
    void handle(const kelTalkTcp::Item& item);
    void admit(const kelTalkTcp::Item& item);
    void apply(const BLNetMessage& m, double at);
    void applyTrack(const BLNetMessage& m);
    void applyClock(const BLNetMessage& m, double at);
    void applySong(const char* name);
    void takeSong(const std::string& name);
    void startSwitch(const std::string& name);
    void finishSwitch();
    void keepMirror(int16_t track);
    void applyEffect(const BLNetMessage& m);
    bool effectSends(int16_t rack) const;
    void tellEffects();
    void linked(const std::string& address, uint32_t connection);
    void sendState(bool play);
    void tellChanges();
    void sendClock();
    void keepTime(double now);
    double cycleEnd(double now) const;
    void scheduleStart(const BLNetMessage& clock, double at);
    double refinedCycleEnd(const BLNetMessage& clock, double at, double planned) const;
    double theirCycleEnd(const BLNetMessage& clock, double at) const;
    double heardAt(double at) const;
    double apart(const BLNetMessage& clock, double at) const;
    void follow(const BLNetMessage& clock, double at);
    void clockRate(const BLNetMessage& clock, double at);
    void unfollow();
    bool inStep(const BLNetMessage& clock, double at) const;
    void note(const char* what, const char* text);
    void noteGroove();

    BLNetHost* host = nullptr;
    std::unique_ptr<kelTalkTcp> tcp;
    // On the listening side: the connection asked about or let in; the
    // players sent away since listening started (by identity).
    uint32_t connection = 0;
    std::string peerIdentity;
    std::set<std::string> sentAway;
    bool welcomed = false;     // the connecting side was let in
    bool joining = false;      // the listening side's song comes
    bool keepPlaying = false;  // and it is the one that plays here
    bool songTaken = false;    // a song was loaded in this idle pass
    long refused = 0;
    // What the other side has: its song, each track, play or stop.
    std::string mirrorSong;
    bool mirrorSongKnown = false;
    std::array<Mirror, 8> mirror{};
    // The other side's effects, as far as this side knows.
    FxSetup fxMirror;
    bool fxKnown = false;
    bool sharedPlaying = false;
    float sharedTempo = 0;
    // The tempo of the other side's last clock.
    float theirTempo = 0;
    // The other side's song is not played here: this side's song then.
    std::string keptSong;
    // Joining while the music plays: the other side's song waits for the
    // end of a cycle, with its tracks and its play.
    bool switching = false;
    std::string switchSong;
    std::array<Waiting, 8> waiting{};
    bool switchPlay = false;
    // When: the end of this side's cycle, or of the other side's once its clock told it.
    double switchAt = 0;
    bool switchOnTheirs = false;
    float switchTempo = 0;
    // A play heard, waiting for the other side's clock; a start waiting for its time.
    bool playPending = false;
    double playPendingSince = 0;
    double startAt = 0;
    // Where the mixer is, and the nudge that keeps it on the other side's beat.
    BLBeatLine line;
    BLBeatNudge nudge;
    long lastWholeBeat = -1;
    // Following the other side's beat: the nudged mix tempo, the other's pace.
    bool following = false;
    float paced = 0;
    double theirRate = 0;
    double lastClockBeat = 0;
    double lastClockAt = 0;
    bool clockDue = false;
    int lastBeat = -1;
    // What plays here, as last noted.
    std::string notedGroove;
};
