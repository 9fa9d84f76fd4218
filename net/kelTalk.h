// The message transport of the network link. This platform has none: every
// operation reports false or does nothing, so messages are formed and go
// nowhere. A real transport takes this class's place behind the same calls.
#pragma once

#include <cstdint>

class kelTalk {
public:
    virtual ~kelTalk() = default;
    virtual bool serviceAvailable(long) { return false; }
    virtual bool open(const char*) { return false; }
    virtual bool close() { return false; }
    virtual void idle() {}
    virtual bool received(char*) { return false; }
    virtual bool send(const char*) { return false; }
    virtual bool browseConnection(char*) { return false; }
    virtual bool getLocalAddress(char*) { return false; }
    virtual bool getRemoteAddress(char*) { return false; }
    virtual bool isConnected() { return false; }
    virtual bool isDisconnected() { return false; }
    virtual bool gotConnected() { return false; }
    virtual bool gotDisconnected() { return false; }
    // 'none'
    virtual uint32_t getServiceSignature() { return 0x6E6F6E65; }
};
