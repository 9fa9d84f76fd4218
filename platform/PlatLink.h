// A link of text lines between two instances over TCP on the local network:
// one side listens on a port, the other connects to it. One thread of the
// link's own does all the socket work (accepting, connecting and trying
// again, reading and writing) and hands what happens to a sink, on that
// thread. Nothing above this folder sees a socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace plat {

// The longest line taken; a longer one is dropped whole.
constexpr size_t kLinkLineMax = 255;

struct LinkEvent {
    enum class Kind : uint8_t {
        Asking,    // a peer connected to the listening side and waits to be let in (text: its address)
        Linked,    // lines now go both ways (text: the peer's address)
        Refused,   // the peer was not let in, or a second peer came while one is linked (text: its address)
        Lost,      // the peer went away or could not be reached; the connecting side tries again (text: why)
        Line,      // one line from the linked peer, without its end (text)
        TooLong,   // a line longer than kLinkLineMax was dropped
    };
    Kind kind = Kind::Line;
    std::string text;
    double at = 0;  // monotonicMs() when it happened
};

// Milliseconds of the monotonic clock, shared by every process of the machine.
double monotonicMs();
// An address of this machine on its local network ("192.168.1.20"), or
// empty when it has none but the loopback.
std::string localNetworkAddress();

class LineLink {
public:
    using Sink = std::function<void(LinkEvent&&)>;

    explicit LineLink(Sink sink);
    ~LineLink();
    LineLink(const LineLink&) = delete;
    LineLink& operator=(const LineLink&) = delete;

    // Listens on `port` (0: any free port, read back with port()); false
    // with `error` when the port cannot be had.
    bool listen(uint16_t port, std::string& error);
    // Connects to host:port, and again after every loss, every `retryMs`.
    void connect(const std::string& host, uint16_t port, int retryMs = 2000);
    // Closes everything and ends the thread; no event follows.
    void stop();
    // Lets the asking peer in, or sends it away.
    void answer(bool letIn);
    // Queues one line (without its end) for the linked peer; false when no
    // peer is linked or the peer has stopped reading.
    bool send(const std::string& line);

    uint16_t port() const { return port_.load(); }
    bool linked() const { return linked_.load(); }
    bool listening() const { return listenFd_ >= 0; }

private:
    enum class Answer : int { None, Yes, No };

    void run();
    void emit(LinkEvent::Kind kind, std::string text = {});
    void wake();
    void dropPeer(LinkEvent::Kind kind, const std::string& why);
    bool readPeer();
    bool writePeer();
    void acceptPeer();
    void startConnect();
    void finishConnect();

    Sink sink_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> linked_{false};
    std::atomic<int> answer_{0};
    int wakeFds_[2] = {-1, -1};

    // Owned by the link's thread once it runs.
    int listenFd_ = -1;
    int peerFd_ = -1;
    bool asking_ = false;
    bool connecting_ = false;
    std::string peerAddress_;
    std::string inbuf_;
    bool skipping_ = false;  // inside a line too long to keep
    std::string host_;
    uint16_t remotePort_ = 0;
    int retryMs_ = 2000;
    double nextTry_ = 0;

    std::mutex outMutex_;
    std::string outbox_;
};

}  // namespace plat
