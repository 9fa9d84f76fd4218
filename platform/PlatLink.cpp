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
// Connections told busy are read until they close, for so long at most and
// so many at a time, so that the farewell reaches them before the close.
constexpr double kFarewellMs = 1000;
constexpr size_t kFarewellsMax = 16;

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

bool systemLookup(const std::string& host, std::vector<std::string>& addresses, std::string& why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        why = gai_strerror(rc);
        return false;
    }
    for (addrinfo* a = found; a; a = a->ai_next) addresses.push_back(addressText(a->ai_addr));
    freeaddrinfo(found);
    return !addresses.empty();
}

std::mutex gLookupMutex;
LineLink::NameLookup gLookup;

LineLink::NameLookup currentLookup()
{
    std::lock_guard<std::mutex> hold(gLookupMutex);
    return gLookup ? gLookup : LineLink::NameLookup(systemLookup);
}

}  // namespace

// One look-up under way. Shared by the link and the thread that looks up,
// so that whichever ends last lets go of it; its pipe tells the link's
// thread that the answer is there.
struct LineLink::Lookup {
    int fds[2] = {-1, -1};
    std::mutex mutex;
    bool done = false;
    bool found = false;
    std::vector<std::string> addresses;
    std::string why;
    Lookup()
    {
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) fds[0] = fds[1] = -1;
    }
    ~Lookup()
    {
        closeFd(fds[0]);
        closeFd(fds[1]);
    }
};

void LineCutter::reset()
{
    line_.clear();
    skipping_ = false;
}

void LineCutter::feed(const char* data, size_t size, const Out& out)
{
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!skipping_) {
                if (!line_.empty() && line_.back() == '\r') line_.pop_back();
                out(line_.empty() ? Piece::KeepAlive : Piece::Line, line_);
            }
            skipping_ = false;
            line_.clear();
        } else if (!skipping_) {
            // Room for a '\r' before the end.
            if (line_.size() >= kLinkLineMax + (c == '\r' ? 1 : 0)) {
                skipping_ = true;
                line_.clear();
                out(Piece::TooLong, line_);
            } else {
                line_ += c;
            }
        }
    }
}

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

void LineLink::setNameLookup(NameLookup lookup)
{
    std::lock_guard<std::mutex> hold(gLookupMutex);
    gLookup = std::move(lookup);
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

void LineLink::setTimes(int keepAliveMs, int silenceMs, int helloMs)
{
    keepAliveMs_ = std::max(keepAliveMs, 1);
    silenceMs_ = std::max(silenceMs, keepAliveMs_);
    helloMs_ = std::max(helloMs, 1);
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
    // A look-up under way ends on its own thread; its answer goes nowhere.
    lookup_.reset();
    closeFd(peerFd_);
    closeFd(listenFd_);
    for (Farewell& f : farewells_) closeFd(f.fd);
    farewells_.clear();
    peer_ = Peer::None;
    questionOpen_ = false;
    cutter_.reset();
    linked_.store(false);
    askingId_.store(0);
    port_.store(0);
    host_.clear();
    {
        std::lock_guard<std::mutex> hold(answerMutex_);
        answers_.clear();
    }
    std::lock_guard<std::mutex> hold(outMutex_);
    outbox_.clear();
}

void LineLink::answer(uint32_t id, bool letIn)
{
    {
        std::lock_guard<std::mutex> hold(answerMutex_);
        answers_.emplace_back(id, letIn);
    }
    wake();
}

bool LineLink::send(const std::string& line)
{
    if (!linked_.load() || line.empty() || line.find_first_of("\r\n") != std::string::npos) return false;
    {
        std::lock_guard<std::mutex> hold(outMutex_);
        if (outbox_.size() + line.size() + 1 > kOutboxMax) return false;
        outbox_ += line;
        outbox_ += '\n';
    }
    wake();
    return true;
}

void LineLink::queueLine(const std::string& line)
{
    std::lock_guard<std::mutex> hold(outMutex_);
    outbox_ += line;
    outbox_ += '\n';
}

void LineLink::wake()
{
    if (wakeFds_[1] < 0) return;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], &c, 1);
}

void LineLink::emit(LinkEvent::Kind kind, std::string text, std::string hello)
{
    LinkEvent e;
    e.kind = kind;
    e.text = std::move(text);
    e.hello = std::move(hello);
    e.connection = peerId_;
    e.at = monotonicMs();
    if (sink_) sink_(std::move(e));
}

void LineLink::dropPeer(LinkEvent::Kind kind, const std::string& why)
{
    closeFd(peerFd_);
    peer_ = Peer::None;
    cutter_.reset();
    linked_.store(false);
    askingId_.store(0);
    {
        std::lock_guard<std::mutex> hold(outMutex_);
        outbox_.clear();
    }
    emit(kind, why);
    if (!host_.empty()) nextTry_ = monotonicMs() + retryMs_;
}

// A connection that cannot be taken now is told why, then read until it
// closes (or for a moment), so that the close does not throw the line away.
void LineLink::sayFarewell(int fd, const std::string& line)
{
    if (!line.empty()) {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    shutdown(fd, SHUT_WR);
    if (farewells_.size() >= kFarewellsMax) {
        ::close(fd);
        return;
    }
    farewells_.push_back({fd, monotonicMs() + kFarewellMs});
}

void LineLink::acceptPeer()
{
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&a), &n, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string address = addressText(reinterpret_cast<sockaddr*>(&a));
    if (peerFd_ >= 0 || questionOpen_) {
        sayFarewell(fd, busyLine_);
        LinkEvent e;
        e.kind = LinkEvent::Kind::TurnedAway;
        e.text = address;
        e.at = monotonicMs();
        if (sink_) sink_(std::move(e));
        return;
    }
    noDelay(fd);
    peerFd_ = fd;
    peerId_ = ++lastId_;
    peerAddress_ = address;
    peer_ = Peer::Arriving;
    cutter_.reset();
    const double now = monotonicMs();
    lastHeard_ = now;
    nextKeepAlive_ = now;
    deadline_ = now + helloMs_;
}

void LineLink::startLookup()
{
    auto job = std::make_shared<Lookup>();
    if (job->fds[0] < 0) {
        nextTry_ = monotonicMs() + retryMs_;
        emit(LinkEvent::Kind::Lost, "cannot look the name up");
        return;
    }
    lookup_ = job;
    std::thread([job, host = host_, lookup = currentLookup()] {
        std::vector<std::string> addresses;
        std::string why;
        const bool found = lookup(host, addresses, why);
        {
            std::lock_guard<std::mutex> hold(job->mutex);
            job->done = true;
            job->found = found;
            job->addresses = std::move(addresses);
            job->why = why.empty() ? "no such address" : why;
        }
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(job->fds[1], &c, 1);
    }).detach();
}

void LineLink::lookupDone()
{
    std::vector<std::string> addresses;
    std::string why;
    {
        std::lock_guard<std::mutex> hold(lookup_->mutex);
        if (!lookup_->done) return;
        addresses = lookup_->addresses;
        why = lookup_->why;
        if (!lookup_->found) addresses.clear();
    }
    lookup_.reset();
    const std::string service = std::to_string(remotePort_);
    for (const std::string& address : addresses) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0) continue;
        int fd =
            socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
        if (fd >= 0 && (::connect(fd, found->ai_addr, found->ai_addrlen) == 0 || errno == EINPROGRESS)) {
            noDelay(fd);
            peerFd_ = fd;
            peerId_ = ++lastId_;
            peerAddress_ = address;
            peer_ = Peer::Connecting;
            deadline_ = monotonicMs() + kConnectTimeoutMs;
            freeaddrinfo(found);
            return;
        }
        if (fd >= 0) why = std::strerror(errno);
        closeFd(fd);
        freeaddrinfo(found);
    }
    nextTry_ = monotonicMs() + retryMs_;
    emit(LinkEvent::Kind::Lost, why.empty() ? "cannot connect" : why);
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
    peer_ = Peer::Linked;
    const double now = monotonicMs();
    lastHeard_ = now;
    nextKeepAlive_ = now + keepAliveMs_;
    cutter_.reset();
    if (!hello_.empty()) queueLine(hello_);
    linked_.store(true);
    emit(LinkEvent::Kind::Linked, peerAddress_);
}

void LineLink::takeAnswers()
{
    std::deque<std::pair<uint32_t, bool>> said;
    {
        std::lock_guard<std::mutex> hold(answerMutex_);
        said.swap(answers_);
    }
    for (const auto& [id, letIn] : said) {
        questionOpen_ = false;
        // An answer for a connection that left, or another one, lets nobody in.
        if (peer_ != Peer::Asking || id != peerId_) continue;
        askingId_.store(0);
        if (letIn) {
            peer_ = Peer::Linked;
            linked_.store(true);
            emit(LinkEvent::Kind::Linked, peerAddress_);
        } else {
            const int fd = peerFd_;
            peerFd_ = -1;
            peer_ = Peer::None;
            cutter_.reset();
            sayFarewell(fd, refusedLine_);
        }
    }
}

void LineLink::heard(LineCutter::Piece piece, std::string& line)
{
    using P = LineCutter::Piece;
    if (peer_ == Peer::Arriving) {
        // The first line is the hello: the question can be asked now.
        if (piece == P::KeepAlive) return;
        if (piece == P::TooLong) {
            dropPeer(LinkEvent::Kind::Lost, "no hello");
            return;
        }
        peer_ = Peer::Asking;
        questionOpen_ = true;
        askingId_.store(peerId_);
        emit(LinkEvent::Kind::Asking, peerAddress_, line);
        return;
    }
    // Lines of a peer not let in yet are not heard.
    if (peer_ != Peer::Linked || piece == P::KeepAlive) return;
    if (piece == P::TooLong)
        emit(LinkEvent::Kind::TooLong);
    else
        emit(LinkEvent::Kind::Line, line);
}

void LineLink::readPeer()
{
    char buffer[4096];
    const ssize_t n = recv(peerFd_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        dropPeer(LinkEvent::Kind::Lost, n == 0 ? "the other side closed the link" : std::strerror(errno));
        return;
    }
    lastHeard_ = monotonicMs();
    const uint32_t id = peerId_;
    cutter_.feed(buffer, static_cast<size_t>(n), [&](LineCutter::Piece piece, std::string& line) {
        // A line may have ended the connection (a hello too long).
        if (peerFd_ >= 0 && peerId_ == id) heard(piece, line);
    });
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

// Timers of the peer: its hello, its silence, our keep-alive.
void LineLink::keepTime(double now)
{
    if (peerFd_ < 0) return;
    if (peer_ == Peer::Connecting) {
        if (now >= deadline_) dropPeer(LinkEvent::Kind::Lost, "no answer");
        return;
    }
    if (peer_ == Peer::Arriving && now >= deadline_) {
        dropPeer(LinkEvent::Kind::Lost, "no hello");
        return;
    }
    if (now - lastHeard_ >= silenceMs_) {
        dropPeer(LinkEvent::Kind::Silent, peerAddress_);
        return;
    }
    if (peer_ != Peer::Arriving && now >= nextKeepAlive_) {
        nextKeepAlive_ = now + keepAliveMs_;
        std::lock_guard<std::mutex> hold(outMutex_);
        // Lines on their way tell the other side as much.
        if (outbox_.empty()) outbox_ += '\n';
    }
}

void LineLink::run()
{
    while (running_.load()) {
        takeAnswers();
        double now = monotonicMs();
        if (!host_.empty() && peerFd_ < 0 && !lookup_ && now >= nextTry_) startLookup();
        keepTime(now);
        for (size_t i = 0; i < farewells_.size();) {
            if (now >= farewells_[i].until) {
                closeFd(farewells_[i].fd);
                farewells_.erase(farewells_.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }

        bool pendingOut;
        {
            std::lock_guard<std::mutex> hold(outMutex_);
            pendingOut = !outbox_.empty();
        }
        std::vector<pollfd> fds;
        fds.push_back({wakeFds_[0], POLLIN, 0});
        const int listenAt = listenFd_ >= 0 ? static_cast<int>(fds.size()) : -1;
        if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
        const int lookupAt = lookup_ ? static_cast<int>(fds.size()) : -1;
        if (lookup_) fds.push_back({lookup_->fds[0], POLLIN, 0});
        const int peerAt = peerFd_ >= 0 ? static_cast<int>(fds.size()) : -1;
        if (peerFd_ >= 0) {
            short want = POLLIN;
            if (peer_ == Peer::Connecting)
                want = POLLOUT;
            else if (pendingOut)
                want |= POLLOUT;
            fds.push_back({peerFd_, want, 0});
        }
        const size_t farewellsAt = fds.size();
        for (const Farewell& f : farewells_) fds.push_back({f.fd, POLLIN, 0});

        // Wake for the next timer: a try, an attempt's or a hello's end, a
        // keep-alive, a silence, a farewell's end.
        double next = now + 60000;
        if (!host_.empty() && peerFd_ < 0 && !lookup_) next = std::min(next, nextTry_);
        if (peerFd_ >= 0) {
            if (peer_ == Peer::Connecting || peer_ == Peer::Arriving) next = std::min(next, deadline_);
            if (peer_ != Peer::Connecting) next = std::min({next, lastHeard_ + silenceMs_, nextKeepAlive_});
        }
        for (const Farewell& f : farewells_) next = std::min(next, f.until);
        const int timeout = static_cast<int>(std::max(0.0, next - now)) + 1;
        if (poll(fds.data(), static_cast<nfds_t>(fds.size()), timeout) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeFds_[0], drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = farewellsAt; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLERR | POLLHUP))) continue;
            char drain[512];
            const ssize_t n = recv(fds[i].fd, drain, sizeof drain, 0);
            if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) continue;
            for (Farewell& f : farewells_)
                if (f.fd == fds[i].fd) f.until = 0;
        }
        if (lookupAt >= 0 && (fds[static_cast<size_t>(lookupAt)].revents & POLLIN)) lookupDone();
        if (peerAt >= 0 && peerFd_ >= 0 && fds[static_cast<size_t>(peerAt)].fd == peerFd_) {
            const short got = fds[static_cast<size_t>(peerAt)].revents;
            if (peer_ == Peer::Connecting) {
                if (got & (POLLOUT | POLLERR | POLLHUP)) finishConnect();
            } else {
                if (got & (POLLIN | POLLERR | POLLHUP)) readPeer();
                if (peerFd_ >= 0 && (got & POLLOUT)) writePeer();
            }
        }
        // Accepted last: a peer that left in this pass frees the slot first,
        // and an answer given before the connection came closes its question.
        if (listenAt >= 0 && (fds[static_cast<size_t>(listenAt)].revents & POLLIN)) {
            takeAnswers();
            acceptPeer();
        }
    }
}

}  // namespace plat
