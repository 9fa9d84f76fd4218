#include "platform/PlatLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plat {

namespace {

// A peer that has not answered a connection attempt by then is given up.
constexpr double kConnectTimeoutMs = 5000;
// What may wait for a peer that stops reading before its lines are refused.
constexpr size_t kOutboxMax = 64 * 1024;

std::string addressText(const sockaddr* sa)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    } else if (sa->sa_family == AF_INET6) {
        const auto* a6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr))
            inet_ntop(AF_INET, &a6->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &a6->sin6_addr, text, sizeof text);
    }
    return text;
}

void closeFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void noDelay(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// A listening socket on every address of the machine, both families where
// the system allows it.
int openListener(uint16_t port, std::string& error)
{
    const int one = 1;
    int fd = socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int zero = 0;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0) return fd;
        const int failed = errno;
        error = std::strerror(failed);
        closeFd(fd);
        // A port taken or forbidden stays so for the other family too.
        if (failed == EADDRINUSE || failed == EACCES) return -1;
    }
    fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
        error = std::strerror(errno);
        closeFd(fd);
        return -1;
    }
    return fd;
}

}  // namespace

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::string localNetworkAddress()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::string found;
    for (ifaddrs* i = list; i && found.empty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
        found = addressText(i->ifa_addr);
    }
    freeifaddrs(list);
    return found;
}

LineLink::LineLink(Sink sink) : sink_(std::move(sink))
{
    if (pipe2(wakeFds_, O_NONBLOCK | O_CLOEXEC) != 0) wakeFds_[0] = wakeFds_[1] = -1;
}

LineLink::~LineLink()
{
    stop();
    closeFd(wakeFds_[0]);
    closeFd(wakeFds_[1]);
}

bool LineLink::listen(uint16_t port, std::string& error)
{
    stop();
    listenFd_ = openListener(port, error);
    if (listenFd_ < 0) return false;
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port_.store(ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                                  : reinterpret_cast<sockaddr_in*>(&a)->sin_port));
    running_.store(true);
    thread_ = std::thread(&LineLink::run, this);
    return true;
}

void LineLink::connect(const std::string& host, uint16_t port, int retryMs)
{
    stop();
    host_ = host;
    remotePort_ = port;
    retryMs_ = std::max(retryMs, 10);
    nextTry_ = 0;
    running_.store(true);
    thread_ = std::thread(&LineLink::run, this);
}

void LineLink::stop()
{
    running_.store(false);
    if (thread_.joinable()) {
        wake();
        thread_.join();
    }
    closeFd(peerFd_);
    closeFd(listenFd_);
    asking_ = connecting_ = skipping_ = false;
    linked_.store(false);
    port_.store(0);
    answer_.store(0);
    host_.clear();
    inbuf_.clear();
    std::lock_guard<std::mutex> hold(outMutex_);
    outbox_.clear();
}

void LineLink::answer(bool letIn)
{
    answer_.store(static_cast<int>(letIn ? Answer::Yes : Answer::No));
    wake();
}

bool LineLink::send(const std::string& line)
{
    if (!linked_.load() || line.find_first_of("\r\n") != std::string::npos) return false;
    {
        std::lock_guard<std::mutex> hold(outMutex_);
        if (outbox_.size() + line.size() + 1 > kOutboxMax) return false;
        outbox_ += line;
        outbox_ += '\n';
    }
    wake();
    return true;
}

void LineLink::wake()
{
    if (wakeFds_[1] < 0) return;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], &c, 1);
}

void LineLink::emit(LinkEvent::Kind kind, std::string text)
{
    LinkEvent e;
    e.kind = kind;
    e.text = std::move(text);
    e.at = monotonicMs();
    if (sink_) sink_(std::move(e));
}

void LineLink::dropPeer(LinkEvent::Kind kind, const std::string& why)
{
    closeFd(peerFd_);
    asking_ = connecting_ = skipping_ = false;
    linked_.store(false);
    inbuf_.clear();
    {
        std::lock_guard<std::mutex> hold(outMutex_);
        outbox_.clear();
    }
    emit(kind, why);
    if (!host_.empty()) nextTry_ = monotonicMs() + retryMs_;
}

void LineLink::acceptPeer()
{
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&a), &n, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string address = addressText(reinterpret_cast<sockaddr*>(&a));
    if (peerFd_ >= 0) {
        // One peer at a time.
        closeFd(fd);
        emit(LinkEvent::Kind::Refused, address);
        return;
    }
    noDelay(fd);
    peerFd_ = fd;
    peerAddress_ = address;
    asking_ = true;
    answer_.store(0);
    emit(LinkEvent::Kind::Asking, address);
}

void LineLink::startConnect()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(remotePort_);
    const int rc = getaddrinfo(host_.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        nextTry_ = monotonicMs() + retryMs_;
        emit(LinkEvent::Kind::Lost, gai_strerror(rc));
        return;
    }
    std::string why = "cannot connect";
    for (addrinfo* a = found; a; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
            noDelay(fd);
            peerFd_ = fd;
            peerAddress_ = addressText(a->ai_addr);
            connecting_ = true;
            nextTry_ = monotonicMs() + kConnectTimeoutMs;
            break;
        }
        why = std::strerror(errno);
        closeFd(fd);
    }
    freeaddrinfo(found);
    if (peerFd_ < 0) {
        nextTry_ = monotonicMs() + retryMs_;
        emit(LinkEvent::Kind::Lost, why);
    }
}

void LineLink::finishConnect()
{
    int error = 0;
    socklen_t n = sizeof error;
    if (getsockopt(peerFd_, SOL_SOCKET, SO_ERROR, &error, &n) != 0) error = errno;
    if (error != 0) {
        dropPeer(LinkEvent::Kind::Lost, std::strerror(error));
        return;
    }
    connecting_ = false;
    linked_.store(true);
    emit(LinkEvent::Kind::Linked, peerAddress_);
}

bool LineLink::readPeer()
{
    char buffer[4096];
    const ssize_t n = recv(peerFd_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    if (n <= 0) {
        dropPeer(LinkEvent::Kind::Lost, n == 0 ? "the other side closed the link" : std::strerror(errno));
        return false;
    }
    // Lines of a peer not let in yet are not heard.
    const bool heard = linked_.load() && !asking_;
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\n') {
            if (!skipping_ && heard) {
                if (!inbuf_.empty() && inbuf_.back() == '\r') inbuf_.pop_back();
                emit(LinkEvent::Kind::Line, inbuf_);
            }
            skipping_ = false;
            inbuf_.clear();
        } else if (!skipping_) {
            if (inbuf_.size() >= kLinkLineMax) {
                skipping_ = true;
                inbuf_.clear();
                if (heard) emit(LinkEvent::Kind::TooLong);
            } else {
                inbuf_ += c;
            }
        }
    }
    return true;
}

bool LineLink::writePeer()
{
    std::unique_lock<std::mutex> hold(outMutex_);
    if (outbox_.empty()) return true;
    const ssize_t n = ::send(peerFd_, outbox_.data(), outbox_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        const std::string why = std::strerror(errno);
        hold.unlock();
        dropPeer(LinkEvent::Kind::Lost, why);
        return false;
    }
    outbox_.erase(0, static_cast<size_t>(n));
    return true;
}

void LineLink::run()
{
    while (running_.load()) {
        const double now = monotonicMs();
        if (!host_.empty() && peerFd_ < 0 && now >= nextTry_) startConnect();
        if (connecting_ && monotonicMs() >= nextTry_) dropPeer(LinkEvent::Kind::Lost, "no answer");

        const int said = answer_.exchange(0);
        if (said != 0 && asking_ && peerFd_ >= 0) {
            if (said == static_cast<int>(Answer::Yes)) {
                asking_ = false;
                linked_.store(true);
                emit(LinkEvent::Kind::Linked, peerAddress_);
            } else {
                dropPeer(LinkEvent::Kind::Refused, peerAddress_);
            }
        }

        bool pendingOut;
        {
            std::lock_guard<std::mutex> hold(outMutex_);
            pendingOut = !outbox_.empty();
        }
        pollfd fds[3];
        int count = 0;
        fds[count++] = {wakeFds_[0], POLLIN, 0};
        const int listenAt = listenFd_ >= 0 ? count : -1;
        if (listenFd_ >= 0) fds[count++] = {listenFd_, POLLIN, 0};
        const int peerAt = peerFd_ >= 0 ? count : -1;
        if (peerFd_ >= 0) {
            short want = POLLIN;
            if (connecting_) want = POLLOUT;
            else if (pendingOut && linked_.load()) want |= POLLOUT;
            fds[count++] = {peerFd_, want, 0};
        }
        int timeout = -1;
        if (!host_.empty() && (peerFd_ < 0 || connecting_))
            timeout = static_cast<int>(std::max(0.0, nextTry_ - monotonicMs())) + 1;
        if (poll(fds, static_cast<nfds_t>(count), timeout) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
        if (listenAt >= 0 && (fds[listenAt].revents & POLLIN)) acceptPeer();
        if (peerAt >= 0 && peerFd_ >= 0 && fds[peerAt].fd == peerFd_) {
            const short got = fds[peerAt].revents;
            if (connecting_) {
                if (got & (POLLOUT | POLLERR | POLLHUP)) finishConnect();
            } else {
                if ((got & (POLLIN | POLLERR | POLLHUP)) && !readPeer()) continue;
                if (got & POLLOUT) writePeer();
            }
        }
    }
}

}  // namespace plat
