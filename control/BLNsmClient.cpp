#include "control/BLNsmClient.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "control/BLGrooveController.h"
#include "core/kelFiles.h"
#include "platform/PlatJack.h"
#include "platform/PlatLink.h"
#include "platform/PlatOsc.h"
#include "platform/Platform.h"

namespace {

constexpr int kApiMajor = 1;
constexpr int kApiMinor = 2;
// How long start-up waits for the session's open; then the program goes on
// as if there were no session manager.
constexpr double kOpenWaitMs = 5000;
// A document named at the open that is not read by then is said to have failed.
constexpr double kReadWaitMs = 10000;

struct Session {
    plat::OscServer server;
    std::string manager;
    std::string document;  // the system path of the session's document
    std::string clientId;
    bool active = false;
    // The open waits for its answer until the document is read.
    bool openOwed = false;
    double openAt = 0;
    bool dirtyKnown = false;
    bool dirty = false;
};

Session& session()
{
    static Session s;
    return s;
}

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

void say(const std::string& line)
{
    plat::logLine(line);
    note(line);
}

void reply(const std::string& to, const std::string& text)
{
    plat::OscMessage m;
    m.path = "/reply";
    m.add(to).add(text);
    session().server.send(session().manager, m);
}

void error(const std::string& to, int code, const std::string& text)
{
    plat::OscMessage m;
    m.path = "/error";
    m.add(to).add(static_cast<int32_t>(code)).add(text);
    session().server.send(session().manager, m);
}

bool isString(const plat::OscMessage& m, size_t k)
{
    return k < m.args.size() && (m.args[k].type == 's' || m.args[k].type == 'S');
}

// The open's path is a prefix the client makes its own: the document is it
// with the document's extension, its folder made when missing.
bool takeOpen(const plat::OscMessage& m)
{
    Session& s = session();
    if (m.args.size() < 3 || !isString(m, 0) || !isString(m, 1) || !isString(m, 2)) {
        say("NSM: refused an open without a path, a name and a client id");
        return false;
    }
    const std::string prefix = m.args[0].s;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(prefix).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    s.document = prefix + ".bld";
    s.clientId = m.args[2].s;
    note("nsm open " + s.document + " as " + s.clientId);
    return true;
}

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel, sizeof kel) ? std::string(kel) : std::string();
}

void save(BLGrooveController& groove)
{
    Session& s = session();
    // A groove needs its song: without one there is no work to lose.
    if (groove.model.userSongFolder().empty()) {
        note("nsm save: no song is open, nothing to save");
        reply("/nsm/client/save", "nothing to save");
        return;
    }
    const std::string kel = kelOf(s.document);
    // The manager waits for the answer: the reason goes to it, not into a box.
    std::string why = "no path of the program's for it";
    if (kel.empty() || !groove.saveWork(kel.c_str(), &why)) {
        say("NSM: the session's document " + s.document + " could not be written: " + why);
        error("/nsm/client/save", -1, "the document could not be written: " + why);
        return;
    }
    note("nsm saved " + s.document);
    reply("/nsm/client/save", "saved");
}

// A later open (the manager switching sessions) replaces the work without
// asking: the manager has saved what it wanted to keep.
void reopen(BLGrooveController& groove, const plat::OscMessage& m)
{
    if (!takeOpen(m)) {
        error("/nsm/client/open", -1, "bad open");
        return;
    }
    if (session().clientId != plat::jackClientName())
        note("nsm: the JACK client keeps its name " + plat::jackClientName() +
             " until the program starts again");
    if (std::filesystem::exists(session().document)) {
        groove.openDocument(session().document);
        session().openOwed = true;
        session().openAt = plat::monotonicMs();
    } else {
        groove.newDocument();
        reply("/nsm/client/open", "a fresh document");
    }
}

}  // namespace

bool BLNsm_Start(const char* executable, std::string& document)
{
    const char* url = std::getenv("NSM_URL");
    if (!url || !*url) return false;
    Session& s = session();
    s.manager = url;
    if (!s.server.open(0)) {
        say("NSM: no OSC port of the program's own: " + s.server.why());
        return false;
    }
    plat::OscMessage announce;
    announce.path = "/nsm/server/announce";
    std::string exe = executable ? executable : "beatloom";
    if (const size_t slash = exe.rfind('/'); slash != std::string::npos) exe = exe.substr(slash + 1);
    announce.add(std::string("Beatloom"))
        .add(std::string(":dirty:"))
        .add(exe)
        .add(static_cast<int32_t>(kApiMajor))
        .add(static_cast<int32_t>(kApiMinor))
        .add(static_cast<int32_t>(getpid()));
    if (!s.server.send(s.manager, announce)) {
        say("NSM: the session manager at " + s.manager + " cannot be reached");
        s.server.close();
        return false;
    }
    note("nsm announced to " + s.manager);
    const double until = plat::monotonicMs() + kOpenWaitMs;
    bool opened = false;
    while (!opened && plat::monotonicMs() < until) {
        plat::OscMessage m;
        if (!s.server.take(m)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (m.path == "/error" && isString(m, 0) && m.args[0].s == "/nsm/server/announce") {
            say("NSM: the session manager refused the program");
            s.server.close();
            return false;
        }
        if (m.path == "/reply" && isString(m, 0) && m.args[0].s == "/nsm/server/announce")
            note("nsm welcomed");
        else if (m.path == "/nsm/client/open")
            opened = takeOpen(m);
    }
    if (!opened) {
        say("NSM: no session was opened; the program goes on without the session manager");
        s.server.close();
        return false;
    }
    s.active = true;
    plat::setJackClientName(s.clientId);
    if (std::filesystem::exists(s.document)) {
        document = s.document;
        s.openOwed = true;
    } else {
        document.clear();
        reply("/nsm/client/open", "a fresh document");
    }
    s.openAt = plat::monotonicMs();
    return true;
}

bool BLNsm_Active()
{
    return session().active;
}

void BLNsm_End()
{
    session().server.close();
    session().active = false;
}

void BLNsm_Serve(BLGrooveController& groove)
{
    Session& s = session();
    if (!s.active) return;
    if (s.openOwed) {
        const std::string kel = kelOf(s.document);
        if (!kel.empty() && kel == groove.model.lastDocument.path) {
            s.openOwed = false;
            s.dirtyKnown = false;
            note("nsm opened " + s.document);
            reply("/nsm/client/open", "opened");
        } else if (plat::monotonicMs() - s.openAt > kReadWaitMs) {
            s.openOwed = false;
            say("NSM: the session's document " + s.document + " could not be read");
            error("/nsm/client/open", -1, "the document could not be read");
        }
    }
    plat::OscMessage m;
    for (int n = 0; n < 32 && s.server.take(m); ++n) {
        if (m.path == "/nsm/client/save")
            save(groove);
        else if (m.path == "/nsm/client/open")
            reopen(groove, m);
        else if (m.path == "/nsm/client/session_is_loaded" || m.path == "/reply")
            continue;
        else if (!m.path.empty())
            note("nsm: " + m.path + " is not for this program");
    }
    if (s.openOwed) return;
    const bool dirty = groove.workUnsaved();
    if (s.dirtyKnown && dirty == s.dirty) return;
    s.dirtyKnown = true;
    s.dirty = dirty;
    plat::OscMessage state;
    state.path = dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean";
    s.server.send(s.manager, state);
    note(std::string("nsm ") + (dirty ? "dirty" : "clean"));
}
