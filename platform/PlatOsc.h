// OSC over UDP (liblo): a server on a port of the program's, whose thread
// only queues what arrives, and messages sent from its own socket (a
// session manager answers to the address it was written from).
//
// Threads: open, close, take and send on the main thread; liblo's server
// thread fills the queue under its lock and never waits on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

struct OscArg {
    char type = 'i';  // i, f, s (what is sent); h, d, T, F ... arrive as such
    int32_t i = 0;
    float f = 0;
    std::string s;
};

struct OscMessage {
    std::string path;
    std::string types;  // one letter an argument
    std::vector<OscArg> args;
    std::string from;  // the sender's URL (osc.udp://host:port/)
    // Packets liblo could not read at all since the last message taken
    // (only on the message that carries the count; path empty then).
    size_t unreadable = 0;

    OscMessage& add(int32_t v);
    OscMessage& add(float v);
    OscMessage& add(const std::string& v);
};

class OscServer {
public:
    // Messages waiting at most: beyond, a flood loses the newest.
    static constexpr size_t kQueueMax = 4096;

    OscServer();
    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Listens on UDP `port` (0: any free port); false, with why(), when the
    // port cannot be had.
    bool open(int port);
    void close();
    bool isOpen() const;
    int port() const;
    const std::string& why() const { return why_; }
    // The next message that arrived; false when none waits.
    bool take(OscMessage& message);
    // Messages dropped because the queue was full, since the last call.
    size_t takeDropped();
    // Sends from the server's socket; false when the address is no OSC URL
    // or the send failed.
    bool send(const std::string& url, const OscMessage& message);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::string why_;
};

}  // namespace plat
