// A link of text lines between two instances over TCP on the local network:
// one side listens on a port, the other connects to it. One thread of the
// link's own does all the socket work (accepting, connecting and trying
// again, reading and writing, keeping the link alive) and hands what
// happens to a sink, on that thread. Names are looked up on a thread of
// their own, so that stopping the link never waits for a look-up. Nothing
// above this folder sees a socket.
//
// One peer at a time. A connection to the listening side first says who it
// is (its first line, the hello) and is then asked about; the answer names
// the connection it is for. While a question is open, or a peer is linked,
// every other connection is told so (the busy line) and closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace plat {

// The longest line taken; a longer one is dropped whole. A song message
// with a folder name of 255 bytes fits.
constexpr size_t kLinkLineMax = 320;
// Both sides send an empty line this often, playing or not...
constexpr int kLinkKeepAliveMs = 2000;
// ...and a peer heard nothing from for this long is gone.
constexpr int kLinkSilenceMs = 10000;
// A new connection says its hello within this time, or is closed.
constexpr int kLinkHelloMs = 5000;

// Cuts a stream of bytes into lines: a line ends at '\n' (a '\r' before it
// is dropped); an empty line only tells that the other side is there; a
// line longer than kLinkLineMax is dropped whole, up to its end.
class LineCutter {
public:
    enum class Piece : uint8_t { Line, TooLong, KeepAlive };
    using Out = std::function<void(Piece, std::string&)>;
    void feed(const char* data, size_t size, const Out& out);
    void reset();

private:
    std::string line_;
    bool skipping_ = false;
};

struct LinkEvent {
    enum class Kind : uint8_t {
        Asking,  // a connection said its hello and waits for an answer (text: its address, hello: its first
                 // line)
        Linked,  // lines now go both ways (text: the peer's address)
        TurnedAway,  // a connection came while the slot was taken and was told so (text: its address)
        Lost,     // the peer went away or could not be reached; the connecting side tries again (text: why)
        Silent,   // the peer was heard nothing from for kLinkSilenceMs and was closed (text: its address)
        Line,     // one line from the linked peer, without its end (text)
        TooLong,  // a line longer than kLinkLineMax was dropped
    };
    Kind kind = Kind::Line;
    std::string text;
    std::string hello;
    uint32_t connection = 0;  // which connection it is about (a number that never comes back)
    double at = 0;            // monotonicMs() when it happened
};

// Milliseconds of the monotonic clock, shared by every process of the machine.
double monotonicMs();
// An address of this machine on its local network ("192.168.1.20"), or
// empty when it has none but the loopback.
std::string localNetworkAddress();

class LineLink {
public:
    using Sink = std::function<void(LinkEvent&&)>;
    // Looks `host` up: its numeric addresses, or false with why not. Runs
    // on a thread of its own and may take as long as it likes.
    using NameLookup =
        std::function<bool(const std::string& host, std::vector<std::string>& addresses, std::string& why)>;
    // The look-up every link uses from now on; an empty one puts the
    // system's back. For tests.
    static void setNameLookup(NameLookup lookup);

    explicit LineLink(Sink sink);
    ~LineLink();
    LineLink(const LineLink&) = delete;
    LineLink& operator=(const LineLink&) = delete;

    // Listens on `port` (0: any free port, read back with port()); false
    // with `error` when the port cannot be had.
    bool listen(uint16_t port, std::string& error);
    // Connects to host:port, and again after every loss, every `retryMs`.
    void connect(const std::string& host, uint16_t port, int retryMs = 2000);
    // Closes everything and ends the thread at once; no event follows.
    void stop();
    // Set before listen or connect. The connecting side's first line on
    // every connection; what the listening side tells a connection that
    // finds the slot taken, and one that is not let in, before closing it.
    void setHello(std::string line) { hello_ = std::move(line); }
    void setFarewells(std::string busy, std::string refused)
    {
        busyLine_ = std::move(busy);
        refusedLine_ = std::move(refused);
    }
    // Keep-alive and silence limits (tests make them short).
    void setTimes(int keepAliveMs, int silenceMs, int helloMs = kLinkHelloMs);
    // The answer to the question about connection `id`; it lets in, or
    // sends away, that connection only. Any answer closes the question.
    void answer(uint32_t id, bool letIn);
    // True while connection `id` waits for its answer.
    bool asking(uint32_t id) const { return id != 0 && askingId_.load() == id; }
    // Queues one line (without its end) for the linked peer; false when no
    // peer is linked or the peer has stopped reading.
    bool send(const std::string& line);

    uint16_t port() const { return port_.load(); }
    bool linked() const { return linked_.load(); }
    bool listening() const { return listenFd_ >= 0; }

private:
    enum class Peer : uint8_t { None, Connecting, Arriving, Asking, Linked };
    struct Lookup;
    struct Farewell {
        int fd;
        double until;
    };

    void run();
    void emit(LinkEvent::Kind kind, std::string text = {}, std::string hello = {});
    void wake();
    void dropPeer(LinkEvent::Kind kind, const std::string& why);
    void readPeer();
    void heard(LineCutter::Piece piece, std::string& line);
    bool writePeer();
    void acceptPeer();
    void sayFarewell(int fd, const std::string& line);
    void startLookup();
    void lookupDone();
    void finishConnect();
    void takeAnswers();
    void keepTime(double now);
    void queueLine(const std::string& line);

    Sink sink_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> linked_{false};
    std::atomic<uint32_t> askingId_{0};
    int wakeFds_[2] = {-1, -1};
    std::string hello_, busyLine_, refusedLine_;
    int keepAliveMs_ = kLinkKeepAliveMs;
    int silenceMs_ = kLinkSilenceMs;
    int helloMs_ = kLinkHelloMs;

    std::mutex answerMutex_;
    std::deque<std::pair<uint32_t, bool>> answers_;

    // Owned by the link's thread once it runs.
    int listenFd_ = -1;
    int peerFd_ = -1;
    Peer peer_ = Peer::None;
    uint32_t peerId_ = 0;
    uint32_t lastId_ = 0;
    bool questionOpen_ = false;
    std::string peerAddress_;
    LineCutter cutter_;
    double lastHeard_ = 0;
    double nextKeepAlive_ = 0;
    double deadline_ = 0;  // of a connection attempt, or of a hello
    std::string host_;
    uint16_t remotePort_ = 0;
    int retryMs_ = 2000;
    double nextTry_ = 0;
    std::shared_ptr<Lookup> lookup_;
    std::vector<Farewell> farewells_;

    std::mutex outMutex_;
    std::string outbox_;
};

}  // namespace plat
