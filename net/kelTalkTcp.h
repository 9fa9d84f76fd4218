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
        enum class Kind : uint8_t { Message, Asking, Linked, Refused, Lost };
        Kind kind = Kind::Message;
        BLNetMessage message;
        std::string text;  // the peer's address, or why the link was lost
        double at = 0;     // when the link's thread got it (monotonic ms)
    };

    kelTalkTcp();
    ~kelTalkTcp() override;

    bool serviceAvailable(long signature) override;
    // "host:port" or "[v6 address]:port" connects (and reconnects); "port"
    // or ":port" listens (port 0: any free one).
    bool open(const char* address) override;
    bool close() override;
    // The text of the next message received, in `text` (at least 128 bytes).
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

    // Main thread: the next thing the link's thread handed over.
    bool take(Item& item);
    // Lets the asking peer in, or not.
    void answer(bool letIn) { link.answer(letIn); }
    uint16_t port() const { return link.port(); }
    bool listening() const { return link.listening(); }
    // Lines that were not messages, since the link was opened.
    long dropped() const { return dropped_.load(); }
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
    std::string remote_;
    std::string error_;
    bool gotConnected_ = false;
    bool gotDisconnected_ = false;
};
