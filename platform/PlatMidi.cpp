#include "PlatMidi.h"

#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "platform/PlatJack.h"

namespace plat {

namespace {

RtMidi::Api apiOf(MidiSystem system)
{
    return system == MidiSystem::jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

// RtMidi reports through this instead of throwing once it is installed; the
// last words are kept for why().
struct ErrorSink {
    std::string text;
    bool failed = false;
    void clear()
    {
        text.clear();
        failed = false;
    }
    static void take(RtMidiError::Type type, const std::string& text, void* self)
    {
        auto* sink = static_cast<ErrorSink*>(self);
        sink->text = text;
        if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) sink->failed = true;
    }
};

// The JACK side of RtMidi only warns when no server answers; ask again with
// the sink installed to hear it.
bool jackAnswers()
{
    try {
        RtMidiOut probe(RtMidi::UNIX_JACK, jackClientName());
        ErrorSink sink;
        probe.setErrorCallback(&ErrorSink::take, &sink);
        probe.getPortCount();
        return sink.text.empty();
    } catch (const RtMidiError&) {
        return false;
    }
}

// Without the sequencer device ALSA would only say so on stderr and throw.
bool alsaAnswers()
{
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, jackClientName());
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ALSA names end in the client and port numbers ("Synth:Port 1 24:0"), which
// change between sessions: a kept name still finds its port without them.
std::string withoutAlsaNumbers(const std::string& name)
{
    size_t space = name.rfind(' ');
    if (space == std::string::npos) return name;
    std::string tail = name.substr(space + 1);
    if (tail.empty() || tail.find(':') == std::string::npos ||
        tail.find_first_not_of("0123456789:") != std::string::npos)
        return name;
    return name.substr(0, space);
}

template <class Port>
std::vector<std::string> portNames(Port& port)
{
    std::vector<std::string> names;
    unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; i++) names.push_back(port.getPortName(i));
    return names;
}

template <class Port>
int findPort(Port& port, const std::string& wanted)
{
    std::vector<std::string> names = portNames(port);
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == wanted) return static_cast<int>(i);
    for (size_t i = 0; i < names.size(); i++)
        if (withoutAlsaNumbers(names[i]) == withoutAlsaNumbers(wanted)) return static_cast<int>(i);
    return -1;
}

template <class Port>
std::vector<std::string> listPorts(MidiSystem system)
{
    MidiSystem used = MidiSystemInUse(system);
    if (used == MidiSystem::automatic) return {};
    try {
        Port port(apiOf(used), jackClientName());
        ErrorSink sink;
        port.setErrorCallback(&ErrorSink::take, &sink);
        return portNames(port);
    } catch (const RtMidiError&) {
        return {};
    }
}

// Opens `port`'s own port named ownName, joined to `other` unless it is
// empty. False with the reason in `why` on any failure.
template <class Port>
bool openPort(Port& port, ErrorSink& sink, const std::string& ownName, const std::string& other,
              std::string& why)
{
    sink.clear();
    if (other.empty()) {
        port.openVirtualPort(ownName);
    } else {
        int index = findPort(port, other);
        if (index < 0) {
            why = "No MIDI port named \"" + other + "\"";
            return false;
        }
        port.openPort(static_cast<unsigned>(index), ownName);
    }
    if (sink.failed || (!other.empty() && !port.isPortOpen())) {
        why = sink.text.empty() ? "The MIDI port could not be opened" : sink.text;
        return false;
    }
    return true;
}

}  // namespace

MidiSystem MidiSystemInUse(MidiSystem wanted)
{
    bool jackWanted = wanted != MidiSystem::alsa;
    bool alsaWanted = wanted != MidiSystem::jack;
    if (jackWanted && jackAnswers()) return MidiSystem::jack;
    if (alsaWanted && alsaAnswers()) return MidiSystem::alsa;
    return MidiSystem::automatic;
}

const char* MidiSystemName(MidiSystem system)
{
    switch (system) {
        case MidiSystem::alsa: return "ALSA";
        case MidiSystem::jack: return "JACK";
        default: return "none";
    }
}

// ---------------------------------------------------------------------------

struct MidiIn::Impl {
    std::unique_ptr<RtMidiIn> port;
    ErrorSink sink;
    Receive receive;

    static void onMessage(double, std::vector<unsigned char>* message, void* self)
    {
        auto* impl = static_cast<Impl*>(self);
        if (message && !message->empty() && impl->receive)
            impl->receive(message->data(), message->size(), monotonicSeconds());
    }
};

MidiIn::MidiIn() = default;
MidiIn::~MidiIn()
{
    close();
}

std::vector<std::string> MidiIn::ports(MidiSystem system)
{
    return listPorts<RtMidiIn>(system);
}

namespace {

// Makes the port of the program's own on the system in use, readied by
// `ready` before it opens, and connected to `peer` when one is named.
template <class Port, class Ready>
bool openOwnPort(MidiSystem system, const std::string& ownName, const std::string& peer,
                 std::unique_ptr<Port>& port, ErrorSink& sink, std::string& why, Ready ready)
{
    why.clear();
    const MidiSystem used = MidiSystemInUse(system);
    if (used == MidiSystem::automatic) {
        why = "No MIDI system";
        return false;
    }
    try {
        port = std::make_unique<Port>(apiOf(used), jackClientName());
        port->setErrorCallback(&ErrorSink::take, &sink);
        ready(*port);
        return openPort(*port, sink, ownName, peer, why);
    } catch (const RtMidiError& error) {
        why = error.getMessage();
        return false;
    }
}

}  // namespace

bool MidiIn::open(const std::string& ownName, const std::string& from, Receive receive, MidiSystem system)
{
    close();
    auto impl = std::make_unique<Impl>();
    impl->receive = std::move(receive);
    Impl* self = impl.get();
    if (!openOwnPort(system, ownName, from, impl->port, impl->sink, why_, [self](RtMidiIn& port) {
            port.ignoreTypes(true, false, true);
            port.setCallback(&Impl::onMessage, self);
        }))
        return false;
    impl_ = std::move(impl);
    return true;
}

void MidiIn::close()
{
    if (!impl_) return;
    try {
        impl_->port->cancelCallback();
        impl_->port->closePort();
    } catch (const RtMidiError&) {
    }
    impl_.reset();
}

bool MidiIn::isOpen() const
{
    return impl_ != nullptr;
}

// ---------------------------------------------------------------------------

struct MidiOut::Impl {
    std::unique_ptr<RtMidiOut> port;
    ErrorSink sink;
};

MidiOut::MidiOut() = default;
MidiOut::~MidiOut()
{
    close();
}

std::vector<std::string> MidiOut::ports(MidiSystem system)
{
    return listPorts<RtMidiOut>(system);
}

bool MidiOut::open(const std::string& ownName, const std::string& to, MidiSystem system)
{
    close();
    auto impl = std::make_unique<Impl>();
    if (!openOwnPort(system, ownName, to, impl->port, impl->sink, why_, [](RtMidiOut&) {})) return false;
    impl_ = std::move(impl);
    return true;
}

void MidiOut::close()
{
    if (!impl_) return;
    try {
        impl_->port->closePort();
    } catch (const RtMidiError&) {
    }
    impl_.reset();
}

bool MidiOut::isOpen() const
{
    return impl_ != nullptr;
}

bool MidiOut::send(const uint8_t* bytes, size_t count)
{
    if (!impl_ || count == 0) return false;
    impl_->sink.clear();
    try {
        impl_->port->sendMessage(bytes, count);
    } catch (const RtMidiError&) {
        return false;
    }
    return !impl_->sink.failed;
}

}  // namespace plat
