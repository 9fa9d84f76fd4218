#include "net/kelTalkTcp.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Enough for the messages a peer may send in one burst many times over; a
// peer that floods the link beyond it loses its oldest lines, counted.
constexpr size_t kInboxMax = 4096;

bool portValue(const std::string& text, bool allowZero, uint16_t& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > 65535 || (v == 0 && !allowZero)) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

kelTalkTcp::kelTalkTcp() : link([this](plat::LinkEvent&& e) { handOver(std::move(e)); }) {}

kelTalkTcp::~kelTalkTcp()
{
    link.stop();
}

bool kelTalkTcp::serviceAvailable(long signature)
{
    return static_cast<uint32_t>(signature) == getServiceSignature();
}

bool kelTalkTcp::splitAddress(const char* address, std::string& host, uint16_t& port)
{
    if (!address) return false;
    const std::string a = address;
    size_t colon;
    if (!a.empty() && a[0] == '[') {
        const size_t close = a.find(']');
        if (close == std::string::npos || close + 1 >= a.size() || a[close + 1] != ':') return false;
        host = a.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = a.rfind(':');
        if (colon == std::string::npos) return false;
        host = a.substr(0, colon);
        if (host.find(':') != std::string::npos) return false;
    }
    if (host.empty() || host.find_first_of(" \t") != std::string::npos) return false;
    return portValue(a.substr(colon + 1), false, port);
}

bool kelTalkTcp::open(const char* address)
{
    close();
    if (!address) return false;
    std::string text = address;
    if (!text.empty() && text[0] == ':') text.erase(0, 1);
    uint16_t port = 0;
    if (portValue(text, true, port)) {
        error_.clear();
        return link.listen(port, error_);
    }
    std::string host;
    if (!splitAddress(address, host, port)) return false;
    link.connect(host, port, retryMs);
    return true;
}

bool kelTalkTcp::close()
{
    link.stop();
    std::lock_guard<std::mutex> hold(mutex_);
    inbox_.clear();
    remote_.clear();
    gotConnected_ = gotDisconnected_ = false;
    dropped_.store(0);
    turnedAway_.store(0);
    return true;
}

void kelTalkTcp::handOver(plat::LinkEvent&& e)
{
    Item item;
    item.at = e.at;
    item.connection = e.connection;
    using K = plat::LinkEvent::Kind;
    switch (e.kind) {
        case K::Line:
            if (!BLNet_parseMessage(e.text.data(), e.text.size(), item.message)) {
                dropped_.fetch_add(1);
                return;
            }
            item.kind = Item::Kind::Message;
            break;
        case K::TooLong: dropped_.fetch_add(1); return;
        case K::Asking:
            item.kind = Item::Kind::Asking;
            item.hello = BLNet_parseMessage(e.hello.data(), e.hello.size(), item.message) &&
                         item.message.code == kBLNetHello;
            break;
        case K::Linked: item.kind = Item::Kind::Linked; break;
        case K::TurnedAway: turnedAway_.fetch_add(1); return;
        case K::Lost: item.kind = Item::Kind::Lost; break;
        case K::Silent: item.kind = Item::Kind::Silent; break;
    }
    item.text = std::move(e.text);
    std::lock_guard<std::mutex> hold(mutex_);
    // A question or the link's state is never dropped: a peer that floods
    // the link loses its own oldest lines.
    if (inbox_.size() >= kInboxMax) {
        auto oldest = std::find_if(inbox_.begin(), inbox_.end(),
                                   [](const Item& i) { return i.kind == Item::Kind::Message; });
        if (oldest == inbox_.end() && item.kind == Item::Kind::Message) {
            dropped_.fetch_add(1);
            return;
        }
        if (oldest != inbox_.end()) {
            inbox_.erase(oldest);
            dropped_.fetch_add(1);
        }
    }
    inbox_.push_back(std::move(item));
}

bool kelTalkTcp::take(Item& item)
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (inbox_.empty()) return false;
    item = std::move(inbox_.front());
    inbox_.pop_front();
    if (item.kind == Item::Kind::Linked) {
        remote_ = item.text;
        gotConnected_ = true;
    } else if (item.kind == Item::Kind::Lost || item.kind == Item::Kind::Silent) {
        gotDisconnected_ = true;
    }
    return true;
}

bool kelTalkTcp::received(char* text)
{
    Item item;
    while (take(item)) {
        if (item.kind != Item::Kind::Message) continue;
        if (text) BLNet_formatMessage(item.message, text, kBLNetTextMax);
        return true;
    }
    return false;
}

bool kelTalkTcp::send(const char* text)
{
    return text && link.send(text);
}

bool kelTalkTcp::getLocalAddress(char* text)
{
    if (!link.listening() || !text) return false;
    std::string host = plat::localNetworkAddress();
    if (host.empty()) host = "127.0.0.1";
    std::snprintf(text, 64, "%s:%u", host.c_str(), static_cast<unsigned>(link.port()));
    return true;
}

bool kelTalkTcp::getRemoteAddress(char* text)
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (remote_.empty() || !text) return false;
    std::snprintf(text, 64, "%s", remote_.c_str());
    return true;
}

bool kelTalkTcp::gotConnected()
{
    std::lock_guard<std::mutex> hold(mutex_);
    const bool got = gotConnected_;
    gotConnected_ = false;
    return got;
}

bool kelTalkTcp::gotDisconnected()
{
    std::lock_guard<std::mutex> hold(mutex_);
    const bool got = gotDisconnected_;
    gotDisconnected_ = false;
    return got;
}
