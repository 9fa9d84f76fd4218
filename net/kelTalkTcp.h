// The link's transport on this platform: TCP on the local network, one
// listening and one connecting instance, one message per line. The link's
// own thread reads the lines and parses them; the main loop takes what it
// handed over, in order, with take() (BLNet does so from its idle call).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "net/BLNetMessage.h"
#include "net/kelTalk.h"
#include "platform/PlatLink.h"

class kelTalkTcp : public kelTalk {
public:
    struct Item {
        enum class Kind : uint8_t { Message, Asking, Linked, Lost, Silent };
        Kind kind = Kind::Message;
        BLNetMessage message;  // Asking: the hello, when it was one
        bool hello = false;    // Asking: the first line was a hello
        std::string text;      // the peer's address, or why the link was lost
        uint32_t connection = 0;
        double at = 0;  // when the link's thread got it (monotonic ms)
    };

    kelTalkTcp();
    ~kelTalkTcp() override;

    bool serviceAvailable(long signature) override;
    // "host:port" or "[v6 address]:port" connects (and reconnects); "port"
    // or ":port" listens (port 0: any free one).
    bool open(const char* address) override;
    bool close() override;
    // The text of the next message received, in `text` (at least
    // kBLNetTextMax bytes).
    bool received(char* text) override;
    bool send(const char* text) override;
    // "address:port" of this machine while listening.
    bool getLocalAddress(char* text) override;
    bool getRemoteAddress(char* text) override;
    bool isConnected() override { return link.linked(); }
    bool isDisconnected() override { return !link.linked(); }
    bool gotConnected() override;
    bool gotDisconnected() override;
    // 'tcp '
    uint32_t getServiceSignature() override { return 0x74637020; }

    // Set before open(): the connecting side's hello; the listening side's
    // words for a connection that finds the slot taken or is not let in.
    void setHello(const std::string& line) { link.setHello(line); }
    void setFarewells(const std::string& busy, const std::string& refused)
    {
        link.setFarewells(busy, refused);
    }
    void setTimes(int keepAliveMs, int silenceMs) { link.setTimes(keepAliveMs, silenceMs); }

    // Main thread: the next thing the link's thread handed over.
    bool take(Item& item);
    // Lets the connection asking in, or not: that connection only.
    void answer(uint32_t connection, bool letIn) { link.answer(connection, letIn); }
    // The connection still waits for its answer.
    bool asking(uint32_t connection) const { return link.asking(connection); }
    uint16_t port() const { return link.port(); }
    bool listening() const { return link.listening(); }
    // Lines that were not messages, since the link was opened.
    long dropped() const { return dropped_.load(); }
    // Connections told the slot was taken, since the link was opened.
    long turnedAway() const { return turnedAway_.load(); }
    // The last reason a listening port could not be had.
    const std::string& error() const { return error_; }
    // Time between two tries of the connecting side.
    int retryMs = 2000;

    // Splits "host:port"; false when it is no such address.
    static bool splitAddress(const char* address, std::string& host, uint16_t& port);

private:
    void handOver(plat::LinkEvent&& e);

    plat::LineLink link;
    std::mutex mutex_;
    std::deque<Item> inbox_;
    std::atomic<long> dropped_{0};
    std::atomic<long> turnedAway_{0};
    std::string remote_;
    std::string error_;
    bool gotConnected_ = false;
    bool gotDisconnected_ = false;
};
