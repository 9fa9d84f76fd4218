#include "control/BLOscControls.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "audio/fx/FxCatalog.h"
#include "control/BLGrooveController.h"
#include "control/BLNsmClient.h"
#include "library/BLSynthIce.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/PlatOsc.h"
#include "platform/Platform.h"

namespace {

constexpr char kRoot[] = "/beatloom";
// Refusals written to the log in one second at most; the rest are counted.
constexpr int kRefusalsASecond = 20;

int gCommandLinePort = -1;
int gListening = 0;

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

std::vector<std::string> split(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '/'))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

// A number of the message: an int, a float or true/false.
bool number(const plat::OscMessage& m, size_t k, double& v)
{
    if (k >= m.args.size()) return false;
    const plat::OscArg& a = m.args[k];
    switch (a.type) {
        case 'i': v = a.i; return true;
        case 'f': v = a.f; return std::isfinite(a.f);
        case 'T': v = 1; return true;
        case 'F': v = 0; return true;
        default: return false;
    }
}

// Exactly `count` arguments, numbers each; else why not.
std::string numbers(const plat::OscMessage& m, size_t count, double* out)
{
    if (m.args.size() != count)
        return count == 0 ? "takes no argument" : "takes " + std::to_string(count) + " number(s)";
    for (size_t k = 0; k < count; ++k)
        if (!number(m, k, out[k])) return "argument " + std::to_string(k + 1) + " is no number";
    return {};
}

std::string within(double v, double low, double high)
{
    if (v < low || v > high) {
        std::ostringstream s;
        s << v << " is outside " << low << " .. " << high;
        return s.str();
    }
    return {};
}

bool whole(double v)
{
    return v == std::floor(v);
}

std::string describe(const plat::OscMessage& m)
{
    std::ostringstream s;
    s << m.path;
    if (!m.types.empty()) s << " " << m.types;
    for (const plat::OscArg& a : m.args) {
        if (a.type == 'i')
            s << " " << a.i;
        else if (a.type == 'f')
            s << " " << a.f;
        else if (a.type == 's' || a.type == 'S')
            s << " \"" << a.s.substr(0, 40) << "\"";
    }
    return s.str();
}

plat::OscMessage message(const std::string& path)
{
    plat::OscMessage m;
    m.path = std::string(kRoot) + path;
    return m;
}

std::string trackPath(int16_t t, const char* what)
{
    return "/track/" + std::to_string(t + 1) + "/" + what;
}

std::string slotPath(int16_t rack, int16_t slot, const std::string& what)
{
    const std::string owner = rack == kFxMain ? std::string("/main") : "/track/" + std::to_string(rack + 1);
    return owner + "/fx/" + std::to_string(slot + 1) + "/" + what;
}

}  // namespace

void BLOsc_UsePort(int port)
{
    gCommandLinePort = port;
}

int BLOsc_Port()
{
    return gListening;
}

int BLOsc_CommandLinePort()
{
    return gCommandLinePort;
}

BLOscControls::BLOscControls(BLGrooveController& controller)
    : groove(controller), server(std::make_unique<plat::OscServer>())
{
    groove.addListener(this);
}

BLOscControls::~BLOscControls()
{
    close();
    groove.removeListener(this);
}

void BLOscControls::open(int port)
{
    close();
    if (gCommandLinePort >= 0) port = gCommandLinePort;
    if (port <= 0) {
        note("osc off");
        return;
    }
    if (!server->open(port)) {
        const std::string line = "OSC: not listening: " + server->why();
        plat::logLine(line);
        note(line);
        return;
    }
    gListening = server->port();
    note("osc listening on UDP port " + std::to_string(gListening));
}

void BLOscControls::close()
{
    server->close();
    subscribers.clear();
    gListening = 0;
}

int BLOscControls::port() const
{
    return server->isOpen() ? server->port() : 0;
}

void BLGrooveController::oscOpen()
{
    if (!osc) osc = std::make_unique<BLOscControls>(*this);
    osc->open(blPrefs.oscPort);
}

void BLGrooveController::oscClose()
{
    osc.reset();
}

void BLGrooveController::oscServe()
{
    if (osc) osc->serve();
    BLNsm_Serve(*this);
}

// ---- Messages in -------------------------------------------------------------

void BLOscControls::serve()
{
    if (!server->isOpen()) return;
    plat::OscMessage m;
    for (int n = 0; n < kMessagesAPass && server->take(m); ++n) {
        if (m.unreadable > 0) {
            refused(m, std::to_string(m.unreadable) + " packet(s) that are no OSC message");
            continue;
        }
        asking = m.from;
        const std::string why = apply(m);
        asking.clear();
        if (why.empty())
            note("osc " + describe(m));
        else
            refused(m, why);
    }
    if (const size_t lost = server->takeDropped(); lost > 0) {
        plat::OscMessage flood;
        refused(flood, std::to_string(lost) + " message(s) lost to a flood");
    }
    const auto second = static_cast<uint32_t>(plat::monotonicMs() / 1000);
    if (second != refusalSecond) {
        if (refusalsUnsaid > 0) {
            const std::string line =
                "OSC: " + std::to_string(refusalsUnsaid) + " more bad message(s) refused";
            plat::logLine(line);
            note(line);
        }
        refusalSecond = second;
        refusalsSaid = 0;
        refusalsUnsaid = 0;
    }
    // The beat, as the panel shows it.
    BLPlayer& p = groove.player();
    if (p.playing != lastPlaying) {
        lastPlaying = p.playing;
        lastBeat = -1;
    }
    // Record's light goes out by itself too (Stop ends a take).
    if (const bool lit = groove.recordLit(); lit != lastRecord) {
        lastRecord = lit;
        tell(message("/record").add(static_cast<int32_t>(lit ? 1 : 0)));
    }
    if (p.playing && p.beat >= 0 && p.beat != lastBeat && !subscribers.empty()) {
        lastBeat = p.beat;
        tell(message("/beat").add(static_cast<int32_t>(p.beat + 1)));
    }
}

void BLOscControls::refused(const plat::OscMessage& m, const std::string& why)
{
    if (refusalsSaid >= kRefusalsASecond) {
        ++refusalsUnsaid;
        return;
    }
    ++refusalsSaid;
    const std::string line = "OSC: refused " + (m.path.empty() ? std::string() : describe(m) + ": ") + why;
    plat::logLine(line);
    note(line);
}

std::string BLOscControls::apply(const plat::OscMessage& m)
{
    const std::vector<std::string> p = split(m.path);
    if (p.size() < 2 || p[0] != "beatloom" || m.path.compare(0, 10, "/beatloom/") != 0)
        return "unknown address";
    constexpr BLOrigin from = BLOrigin::osc;
    BLPlayer& player = groove.player();
    const std::string& a = p[1];
    double v[2] = {0, 0};
    std::string why;
    if (p.size() == 2) {
        if (a == "subscribe" || a == "unsubscribe") {
            if (m.from.empty()) return "no address to answer to";
            // A port of the sender's host may be named, for a listener that
            // is not the sender (oscsend beside oscdump).
            std::string to = m.from;
            if (!m.args.empty()) {
                if (!(why = numbers(m, 1, v)).empty()) return "takes none or a UDP port";
                if (!whole(v[0]) || !(why = within(v[0], 1, 65535)).empty())
                    return why.empty() ? "takes a whole number" : why;
                const size_t colon = to.rfind(':');
                if (colon == std::string::npos) return "no address to answer to";
                to = to.substr(0, colon + 1) + std::to_string(static_cast<int>(v[0])) + "/";
            }
            if (a == "subscribe")
                subscribe(to);
            else
                subscribers.erase(std::remove(subscribers.begin(), subscribers.end(), to), subscribers.end());
            return {};
        }
        if (a == "play" || a == "stop" || a == "tap" || a == "undo" || a == "redo") {
            if (!(why = numbers(m, 0, v)).empty()) return why;
            if (a == "play") groove.play(from);
            if (a == "stop") groove.stop(from);
            if (a == "tap") groove.tap(player.tickNow(), from);
            if (a == "undo") groove.undoWork();
            if (a == "redo") groove.redoWork();
            return {};
        }
        if (a == "tempo") {
            if (!(why = numbers(m, 1, v)).empty()) return why;
            if (!(why = within(v[0], player.slowestBpm(), player.fastestBpm())).empty())
                return why + " (the song's window)";
            groove.setTempo(static_cast<float>(v[0]), from);
            return {};
        }
        if (a == "volume") {
            if (!(why = numbers(m, 1, v)).empty()) return why;
            if (!(why = within(v[0], 0, 1)).empty()) return why;
            groove.setMainVolume(static_cast<int16_t>(std::lround(v[0] * 127)), from);
            return {};
        }
        if (a == "keylock" || a == "solo" || a == "groupmode" || a == "allmode") {
            if (!(why = numbers(m, 1, v)).empty()) return why;
            if (v[0] != 0 && v[0] != 1) return "takes 0 or 1";
            const bool on = v[0] != 0;
            if (a == "keylock") groove.setKeyLock(on, from);
            if (a == "solo") groove.setSoloMode(on, from);
            if (a == "groupmode") groove.setGroupMode(on, from);
            if (a == "allmode") groove.setAllMode(on, from);
            return {};
        }
        if (a == "record") return applyRecord(m);
        if (a == "grid") {
            if (m.args.size() != 1) return "takes a grid's name or code";
            LaunchGrid g = LaunchGrid::cycle;
            if (m.args[0].type == 's') {
                if (!LaunchGridFromName(m.args[0].s.c_str(), &g)) return "no such grid";
            } else {
                if (!number(m, 0, v[0])) return "takes a grid's name or code";
                if (!(why = within(v[0], 0, kLaunchGridChoices - 1)).empty() || !whole(v[0]))
                    return why.empty() ? "takes a whole number" : why;
                g = static_cast<LaunchGrid>(static_cast<int>(v[0]));
            }
            groove.setLaunchGrid(g, from);
            return {};
        }
        return "unknown address";
    }
    if (a == "track" && p.size() >= 4) {
        double n = 0;
        std::istringstream in(p[2]);
        if (!(in >> n) || !in.eof() || !whole(n) || n < 1 || n > kBLEngineTracks)
            return "tracks are 1 .. " + std::to_string(kBLEngineTracks);
        if (p.size() == 4) return applyTrack(static_cast<int16_t>(n - 1), p[3], m);
        if (p[3] == "fx") return applyEffect(static_cast<int16_t>(n - 1), {p.begin() + 4, p.end()}, m);
        return "unknown address";
    }
    if (a == "main" && p.size() >= 3 && p[2] == "fx")
        return applyEffect(kFxMain, {p.begin() + 3, p.end()}, m);
    if (a == "groove" && p.size() == 3) {
        const std::string& w = p[2];
        if (w == "store" || w == "rewrite" || w == "remove" || w == "empty" || w == "addall") {
            if (!(why = numbers(m, 0, v)).empty()) return why;
            if (w == "store") groove.store(from);
            if (w == "rewrite") groove.rewrite(from);
            if (w == "remove") groove.removeGroove(from);
            if (w == "empty") groove.empty(from);
            if (w == "addall") groove.addAll(from);
            return {};
        }
        if (w == "recall" || w == "random") {
            if (!(why = numbers(m, 1, v)).empty()) return why;
            const double last = w == "recall" ? groove.model.stored.count : 4;
            if (last < 1) return "no groove is stored";
            if (!(why = within(v[0], 1, last)).empty() || !whole(v[0]))
                return why.empty() ? "takes a whole number" : why;
            if (w == "recall") groove.restoreStored(static_cast<int16_t>(v[0] - 1), from);
            if (w == "random") groove.randomize(static_cast<int16_t>(v[0] - 1), from);
            return {};
        }
        return "unknown address";
    }
    if (a == "sequence" && p.size() == 3 && p[2] == "play") {
        if (!(why = numbers(m, 0, v)).empty()) return why;
        groove.toggleSequencePlay(from);
        return {};
    }
    if (a == "synth" && p.size() == 3) return applySynth(p[2], m);
    return "unknown address";
}

std::string BLOscControls::applyTrack(int16_t t, const std::string& w, const plat::OscMessage& m)
{
    constexpr BLOrigin from = BLOrigin::osc;
    double v[1] = {0};
    std::string why;
    if (w == "select") {
        if (!(why = numbers(m, 0, v)).empty()) return why;
        groove.selectTrack(t, from);
        return {};
    }
    if (!(why = numbers(m, 1, v)).empty()) return why;
    const BLSongLibrary& lib = groove.model.library();
    const BLTrack& k = groove.model.current.tracks[t];
    if (w == "mute" || w == "solo" || w == "keep") {
        if (v[0] != 0 && v[0] != 1) return "takes 0 or 1";
        const bool on = v[0] != 0;
        if (w == "mute") {
            groove.setAudible(t, !on, from);
        } else if (w == "solo") {
            // A track in the solo is heard while the solo mode is on.
            if (on && !groove.soloMode) groove.setSoloMode(true, from);
            if (groove.soloMode) groove.setAudible(t, on, from);
        } else if (groove.tracks[t].keep != on) {
            groove.toggleKeep(t, from);
        }
        return {};
    }
    if (w == "volume") {
        if (!(why = within(v[0], 0, 1)).empty()) return why;
        groove.setTrackVolume(t, static_cast<int16_t>(std::lround(v[0] * 127)), from);
        return {};
    }
    if (w == "pan") {
        if (!(why = within(v[0], -1, 1)).empty()) return why;
        groove.setTrackPan(t, static_cast<int16_t>(std::lround(v[0] * 63)), from);
        return {};
    }
    if (w == "group") {
        if (!whole(v[0])) return "takes a whole number";
        if (!(why = within(v[0], 0, lib.groupCount)).empty()) return why + " (0: none)";
        groove.chooseGroup(t, static_cast<int16_t>(v[0] - 1), from);
        return {};
    }
    if (w == "loop") {
        if (k.group < 0 || k.group >= lib.groupCount) return "the track has no group";
        if (!whole(v[0])) return "takes a whole number";
        if (!(why = within(v[0], 1, lib.groups[k.group].count)).empty()) return why;
        groove.chooseLoop(t, static_cast<int16_t>(v[0] - 1), from);
        return {};
    }
    return "unknown address";
}

std::string BLOscControls::applySynth(const std::string& w, const plat::OscMessage& m)
{
    using S = BLSynthPart::Setting;
    constexpr BLOrigin from = BLOrigin::osc;
    if (w == "sound") {
        if (m.args.size() != 1 || m.args[0].type != 's') return "takes a sound's name";
        if (!groove.chooseSynthSound(m.args[0].s, from)) return "no such sound";
        return {};
    }
    double v[2] = {0, 0};
    std::string why;
    if (w == "key") {
        if (!(why = numbers(m, 2, v)).empty()) return why;
        if (!whole(v[0]) || !(why = within(v[0], 1, kBLSynthKeys)).empty())
            return why.empty() ? "takes a whole number" : why;
        if (v[1] != 0 && v[1] != 1) return "takes 0 or 1 after the key";
        groove.setSynth(S::key, static_cast<int16_t>(v[0] - 1 + (v[1] != 0 ? 256 : 0)), from);
        return {};
    }
    if (!(why = numbers(m, 1, v)).empty()) return why;
    struct Range {
        const char* name;
        S setting;
        double low, high;
        double scale;
    };
    static const Range kRanges[] = {
        {"on", S::playing, 0, 1, 1},      {"direction", S::mode, 1, 4, 1},  {"speed", S::speed, 1, 4, 1},
        {"rhythm", S::program, 1, 33, 1}, {"volume", S::volume, 0, 1, 127}, {"pan", S::pan, -1, 1, 63},
    };
    for (const Range& r : kRanges) {
        if (w != r.name) continue;
        if (!(why = within(v[0], r.low, r.high)).empty()) return why;
        if (r.scale == 1 && !whole(v[0])) return "takes a whole number";
        int value = static_cast<int>(std::lround(v[0] * r.scale));
        if (r.setting == S::mode || r.setting == S::speed || r.setting == S::program) value -= 1;
        if (r.setting == S::pan) value += 64;
        groove.setSynth(r.setting, static_cast<int16_t>(std::clamp(value, 0, 127)), from);
        return {};
    }
    return "unknown address";
}

std::string BLOscControls::applyRecord(const plat::OscMessage& m)
{
    double v[1] = {0};
    std::string why;
    const bool lit = groove.recordLit();
    bool on = !lit;
    if (!m.args.empty()) {
        if (!(why = numbers(m, 1, v)).empty()) return why + " (or none, to turn it over)";
        if (v[0] != 0 && v[0] != 1) return "takes 0 or 1";
        on = v[0] != 0;
    }
    if (on == lit) return {};
    // The full list's question box is for a person at the screen.
    if (on && groove.takes().size() >= static_cast<size_t>(kBLMaxTakes))
        return "the document holds " + std::to_string(kBLMaxTakes) + " takes, the most it can";
    groove.toggleRecord(BLOrigin::osc);
    lastRecord = groove.recordLit();
    tell(message("/record").add(static_cast<int32_t>(lastRecord ? 1 : 0)), asking);
    return {};
}

std::string BLOscControls::applyEffect(int16_t rack, const std::vector<std::string>& rest,
                                       const plat::OscMessage& m)
{
    constexpr BLOrigin from = BLOrigin::osc;
    if (rest.size() < 2 || (rest[0] != "1" && rest[0] != "2")) return "slots are 1 and 2";
    const auto slot = static_cast<int16_t>(rest[0][0] - '1');
    const std::string& w = rest[1];
    const FxSlot& s = groove.effectSlot(rack, slot);
    double v[1] = {0};
    std::string why;
    if (w == "effect" && rest.size() == 2) {
        if (m.args.size() != 1 || m.args[0].type != 's') return "takes an effect's name (\"\" empties)";
        const std::string& name = m.args[0].s;
        if (!name.empty()) {
            const FxEffectInfo* info = Fx_Find(name);
            if (!info) return "no such effect";
            if (!info->unusable.empty()) return "cannot run here: " + info->unusable;
        }
        groove.setEffect(rack, slot, name, from);
        return {};
    }
    if (w == "bypass" && rest.size() == 2) {
        if (!(why = numbers(m, 1, v)).empty()) return why;
        if (v[0] != 0 && v[0] != 1) return "takes 0 or 1";
        if (s.empty()) return "the slot is empty";
        groove.setEffectBypass(rack, slot, v[0] != 0, from);
        return {};
    }
    if (w == "param" && rest.size() == 3) {
        if (s.empty()) return "the slot is empty";
        const FxEffectInfo* info = Fx_Find(s.effect);
        const int i = info ? info->index(rest[2]) : -1;
        if (i < 0) return s.effect + " has no such parameter";
        const FxParamInfo& pi = info->params[static_cast<size_t>(i)];
        float value = 0;
        if (m.args.size() == 1 && m.args[0].type == 's') {
            // A fraction of beats or a choice's name, as the command line takes it.
            if (!FxParam_FromText(s.effect, pi.name, m.args[0].s, &value, &why)) return why;
        } else {
            if (!(why = numbers(m, 1, v)).empty()) return why;
            if (!(why = within(v[0], pi.minimum, pi.maximum)).empty()) return why;
            if ((pi.integer || pi.toggled) && !whole(v[0])) return "takes a whole number";
            if (!pi.choices.empty() && std::none_of(pi.choices.begin(), pi.choices.end(), [&](const auto& c) {
                    return c.first == static_cast<float>(v[0]);
                }))
                return "is none of the parameter's choices";
            value = static_cast<float>(v[0]);
        }
        groove.setEffectParam(rack, slot, pi.name, value, from);
        return {};
    }
    return "unknown address";
}

// ---- Feedback -------------------------------------------------------------------

void BLOscControls::subscribe(const std::string& url)
{
    if (std::find(subscribers.begin(), subscribers.end(), url) == subscribers.end()) {
        if (subscribers.size() >= kSubscribersMax) subscribers.erase(subscribers.begin());
        subscribers.push_back(url);
        note("osc subscriber " + url);
    }
    tellState(url);
}

void BLOscControls::send(const std::string& to, const plat::OscMessage& m)
{
    server->send(to, m);
}

void BLOscControls::tell(const plat::OscMessage& m, const std::string& except)
{
    for (const std::string& s : subscribers)
        if (s != except) send(s, m);
}

void BLOscControls::tellTrack(int16_t t, const std::string& to)
{
    const BLTrack& k = groove.model.current.tracks[t];
    send(to, message(trackPath(t, "mute")).add(static_cast<int32_t>(groove.model.audible[t] ? 0 : 1)));
    send(to, message(trackPath(t, "volume")).add(static_cast<float>(k.volume / 127.0)));
    send(to, message(trackPath(t, "pan")).add(static_cast<float>(k.pan / 63.0)));
    send(to, message(trackPath(t, "group")).add(static_cast<int32_t>(k.group + 1)));
    send(to, message(trackPath(t, "loop")).add(static_cast<int32_t>(k.group >= 0 ? k.slot + 1 : 0)));
    send(to, message(trackPath(t, "keep")).add(static_cast<int32_t>(groove.tracks[t].keep ? 1 : 0)));
}

void BLOscControls::tellState(const std::string& to)
{
    BLPlayer& p = groove.player();
    send(to, message("/play").add(static_cast<int32_t>(p.playing ? 1 : 0)));
    send(to, message("/tempo").add(p.bpm));
    send(to, message("/volume").add(static_cast<float>(p.mainVolume / 127.0)));
    send(to, message("/keylock").add(static_cast<int32_t>(blPrefs.keyLock != 0 ? 1 : 0)));
    send(to, message("/grid").add(std::string(LaunchGridName(LaunchGridFromCode(blPrefs.launchGrid)))));
    send(to, message("/modes")
                 .add(static_cast<int32_t>(groove.soloMode))
                 .add(static_cast<int32_t>(groove.groupMode))
                 .add(static_cast<int32_t>(groove.allMode)));
    send(to, message("/record").add(static_cast<int32_t>(groove.recordLit() ? 1 : 0)));
    for (int16_t t = 0; t < kBLEngineTracks; ++t) tellTrack(t, to);
    for (int16_t r = 0; r < kFxRacks; ++r)
        for (int16_t slot = 0; slot < kFxSlots; ++slot) tellEffect(r, slot, to);
}

// The slot's effect ("" empty), its bypass and every parameter's value.
void BLOscControls::tellEffect(int16_t rack, int16_t slot, const std::string& to)
{
    const FxSlot& s = groove.effectSlot(rack, slot);
    send(to, message(slotPath(rack, slot, "effect")).add(s.effect));
    if (s.empty()) return;
    send(to, message(slotPath(rack, slot, "bypass")).add(static_cast<int32_t>(s.bypass ? 1 : 0)));
    const FxEffectInfo* info = Fx_Find(s.effect);
    if (!info) return;
    for (const FxParamInfo& pi : info->params) {
        const float* v = s.param(pi.name);
        send(to, message(slotPath(rack, slot, "param/" + pi.name)).add(v ? *v : pi.deflt));
    }
}

void BLOscControls::grooveChanged(const BLGrooveChange& c, BLOrigin from)
{
    if (subscribers.empty()) return;
    // What a client asked for is news to the others only.
    const std::string except = from == BLOrigin::osc ? asking : std::string();
    using K = BLGrooveChange::Kind;
    const BLPlayer& p = groove.player();
    const bool track = c.track >= 0 && c.track < kBLEngineTracks;
    switch (c.kind) {
        case K::loop:
        case K::volume:
        case K::pan:
        case K::audible:
        case K::keep:
            if (!track) return;
            for (const std::string& s : subscribers)
                if (s != except) tellTrack(c.track, s);
            return;
        case K::modes:
            tell(message("/modes")
                     .add(static_cast<int32_t>(groove.soloMode))
                     .add(static_cast<int32_t>(groove.groupMode))
                     .add(static_cast<int32_t>(groove.allMode)),
                 except);
            return;
        case K::selection: tell(message("/select").add(static_cast<int32_t>(c.track + 1)), except); return;
        case K::groove:
        case K::song:
            for (const std::string& s : subscribers)
                if (s != except) tellState(s);
            return;
        case K::effect:
            if (c.track < 0 || c.track >= kFxRacks || c.a < 0 || c.a >= kFxSlots) return;
            for (const std::string& s : subscribers)
                if (s != except) tellEffect(c.track, c.a, s);
            return;
        case K::tempo: tell(message("/tempo").add(p.bpm), except); return;
        case K::play: tell(message("/play").add(static_cast<int32_t>(1)), except); return;
        case K::stop: tell(message("/play").add(static_cast<int32_t>(0)), except); return;
        case K::keyLock: tell(message("/keylock").add(static_cast<int32_t>(c.a)), except); return;
        case K::launchGrid:
            tell(message("/grid").add(std::string(LaunchGridName(LaunchGridFromCode(c.a)))), except);
            return;
        case K::mainVolume: tell(message("/volume").add(static_cast<float>(c.a / 127.0)), except); return;
        case K::synth:
            tell(message("/synth/setting").add(static_cast<int32_t>(c.a)).add(static_cast<int32_t>(c.b)),
                 except);
            return;
        case K::synthSound:
        case K::userLoop: return;
    }
}
