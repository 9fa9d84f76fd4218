#include "PlatOsc.h"

#include <lo/lo.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace plat {

namespace {

// liblo's error handler carries no pointer of ours: the server thread
// marks itself, and a packet it cannot read is counted to that server.
thread_local OscServer::Impl* tCurrent = nullptr;

}  // namespace

struct OscServer::Impl {
    lo_server_thread thread = nullptr;
    std::mutex lock;
    std::deque<OscMessage> queue;
    size_t dropped = 0;
    std::atomic<size_t> unreadable{0};

    void push(OscMessage&& m)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (queue.size() >= kQueueMax) {
            ++dropped;
            return;
        }
        queue.push_back(std::move(m));
    }

    static void error(int, const char*, const char*)
    {
        if (tCurrent) tCurrent->unreadable.fetch_add(1);
    }

    static int init(lo_server_thread, void* self)
    {
        tCurrent = static_cast<Impl*>(self);
        return 0;
    }

    static void cleanup(lo_server_thread, void*) { tCurrent = nullptr; }

    static int any(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg, void* self)
    {
        OscMessage m;
        m.path = path ? path : "";
        m.types = types ? types : "";
        for (int k = 0; k < argc; ++k) {
            OscArg a;
            a.type = m.types[static_cast<size_t>(k)];
            switch (a.type) {
                case LO_INT32: a.i = argv[k]->i; break;
                case LO_FLOAT: a.f = argv[k]->f; break;
                case LO_STRING:
                case LO_SYMBOL: a.s = &argv[k]->s; break;
                default: break;
            }
            m.args.push_back(std::move(a));
        }
        if (lo_address source = lo_message_get_source(msg)) {
            if (char* url = lo_address_get_url(source)) {
                m.from = url;
                free(url);
            }
        }
        static_cast<Impl*>(self)->push(std::move(m));
        return 0;
    }
};

OscMessage& OscMessage::add(int32_t v)
{
    types += 'i';
    OscArg a;
    a.type = 'i';
    a.i = v;
    args.push_back(a);
    return *this;
}

OscMessage& OscMessage::add(float v)
{
    types += 'f';
    OscArg a;
    a.type = 'f';
    a.f = v;
    args.push_back(a);
    return *this;
}

OscMessage& OscMessage::add(const std::string& v)
{
    types += 's';
    OscArg a;
    a.type = 's';
    a.s = v;
    args.push_back(a);
    return *this;
}

OscServer::OscServer() : impl_(std::make_unique<Impl>()) {}

OscServer::~OscServer()
{
    close();
}

bool OscServer::open(int port)
{
    close();
    why_.clear();
    const std::string name = port > 0 ? std::to_string(port) : std::string();
    impl_->thread =
        lo_server_thread_new_with_proto(name.empty() ? nullptr : name.c_str(), LO_UDP, Impl::error);
    if (!impl_->thread) {
        why_ = "UDP port " + name + " cannot be had (taken by another program?)";
        return false;
    }
    lo_server_thread_set_callbacks(impl_->thread, Impl::init, Impl::cleanup, impl_.get());
    lo_server_thread_add_method(impl_->thread, nullptr, nullptr, Impl::any, impl_.get());
    if (lo_server_thread_start(impl_->thread) != 0) {
        why_ = "the OSC server's thread would not start";
        close();
        return false;
    }
    return true;
}

void OscServer::close()
{
    if (!impl_->thread) return;
    lo_server_thread_stop(impl_->thread);
    lo_server_thread_free(impl_->thread);
    impl_->thread = nullptr;
    std::lock_guard<std::mutex> hold(impl_->lock);
    impl_->queue.clear();
    impl_->dropped = 0;
}

bool OscServer::isOpen() const
{
    return impl_->thread != nullptr;
}

int OscServer::port() const
{
    return impl_->thread ? lo_server_thread_get_port(impl_->thread) : 0;
}

bool OscServer::take(OscMessage& message)
{
    const size_t bad = impl_->unreadable.exchange(0);
    if (bad > 0) {
        message = OscMessage{};
        message.unreadable = bad;
        return true;
    }
    std::lock_guard<std::mutex> hold(impl_->lock);
    if (impl_->queue.empty()) return false;
    message = std::move(impl_->queue.front());
    impl_->queue.pop_front();
    return true;
}

size_t OscServer::takeDropped()
{
    std::lock_guard<std::mutex> hold(impl_->lock);
    const size_t n = impl_->dropped;
    impl_->dropped = 0;
    return n;
}

bool OscServer::send(const std::string& url, const OscMessage& message)
{
    if (!impl_->thread) return false;
    lo_address to = lo_address_new_from_url(url.c_str());
    if (!to) return false;
    lo_message m = lo_message_new();
    for (const OscArg& a : message.args) {
        if (a.type == 'i')
            lo_message_add_int32(m, a.i);
        else if (a.type == 'f')
            lo_message_add_float(m, a.f);
        else
            lo_message_add_string(m, a.s.c_str());
    }
    const int sent =
        lo_send_message_from(to, lo_server_thread_get_server(impl_->thread), message.path.c_str(), m);
    lo_message_free(m);
    lo_address_free(to);
    return sent >= 0;
}

}  // namespace plat
