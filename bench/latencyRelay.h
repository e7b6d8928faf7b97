// A relay that makes a database server on this machine look as far away as
// one across a network: it listens on a loopback TCP port, forwards each
// connection to the server and holds every chunk of bytes it reads for a
// fixed delay before it passes the chunk on.  Chunks leave in the order
// they came, each at its arrival plus the delay, so bytes that arrive close
// together wait out one delay between them, not one each: a round trip
// costs the delay of each direction once, whatever the chunks it takes.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "benchFamily.h"
#include "benchPostgres.h"

namespace pelo::bench {

/// Where the relay forwards to: a socket address of the server.
struct Upstream {
    sockaddr_storage address{};
    socklen_t length = 0;
};

/// The server the cluster's maintenance database is on, as libpq reached
/// it: its Unix socket (host a directory) or its TCP address.
inline bool findUpstream(const Cluster& cluster, Upstream& upstream) {
    PGconn* conn = PQconnectdb(cluster.admin.c_str());
    const bool connected = PQstatus(conn) == CONNECTION_OK;
    const std::string host = connected ? PQhost(conn) : "", port = connected ? PQport(conn) : "";
    PQfinish(conn);
    if (!connected)
        return fail("the cluster cannot be reached for the relay");
    if (host.starts_with("/")) {
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        const std::string path = host + "/.s.PGSQL." + port;
        if (path.size() >= sizeof local.sun_path)
            return fail("the cluster's socket path is too long: " + path);
        std::memcpy(local.sun_path, path.c_str(), path.size() + 1);
        std::memcpy(&upstream.address, &local, sizeof local);
        upstream.length = sizeof local;
        return true;
    }
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr)
        return fail("the cluster's host " + host + " cannot be resolved");
    std::memcpy(&upstream.address, found->ai_addr, found->ai_addrlen);
    upstream.length = found->ai_addrlen;
    freeaddrinfo(found);
    return true;
}

namespace relay {

using Delay = std::chrono::microseconds;

/// A descriptor closed when dropped; not copyable.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Socket& operator=(Socket&&) = delete;
    ~Socket() {
        if (fd_ >= 0)
            close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

/// One direction of a connection: the chunks read from `from` that wait to
/// be written to `to`.
struct Flow {
    int from = -1, to = -1;
    std::deque<Chunk> waiting;
    std::size_t sent = 0;     ///< bytes of the front chunk already written
    std::size_t queued = 0;   ///< bytes waiting in all
    bool ended = false;       ///< `from` sends no more
    bool shut = false;        ///< and `to` was told so, once all had left

    /// Reading stops while this much waits, should `to` fall behind.
    static constexpr std::size_t mostQueued = std::size_t{4} << 20;

    bool wantsRead() const { return !ended && queued < mostQueued; }
    bool due(Clock::time_point now) const { return !waiting.empty() && waiting.front().due <= now; }
};

/// A client's connection and the relay's own to the server.
struct Link {
    Socket client, server;
    Flow up, down;  ///< client to server, server to client
    bool broken = false;

    Link(Socket c, Socket s) : client(std::move(c)), server(std::move(s)) {
        up.from = down.to = client.fd();
        up.to = down.from = server.fd();
    }
    bool finished() const { return broken || (up.shut && down.shut); }
};

/// Reads what from has into a chunk due after the delay; false when the
/// connection broke.
inline bool readChunk(Flow& flow, Clock::time_point now, Delay delay) {
    char buffer[65536];
    const ssize_t got = recv(flow.from, buffer, sizeof buffer, 0);
    if (got > 0) {
        flow.waiting.push_back({now + delay, std::string(buffer, static_cast<std::size_t>(got))});
        flow.queued += static_cast<std::size_t>(got);
    } else if (got == 0) {
        flow.ended = true;
    } else if (errno != EAGAIN && errno != EINTR) {
        return false;
    }
    return true;
}

/// Writes the chunks that are due, as far as `to` takes them; once from
/// has ended and nothing waits, passes the end on.  False when the
/// connection broke.
inline bool writeDue(Flow& flow, Clock::time_point now) {
    while (flow.due(now)) {
        const std::string& bytes = flow.waiting.front().bytes;
        const ssize_t put = send(flow.to, bytes.data() + flow.sent, bytes.size() - flow.sent, MSG_NOSIGNAL);
        if (put < 0)
            return errno == EAGAIN || errno == EINTR;
        flow.sent += static_cast<std::size_t>(put);
        if (flow.sent < bytes.size())
            return true;
        flow.queued -= bytes.size();
        flow.sent = 0;
        flow.waiting.pop_front();
    }
    if (flow.ended && flow.waiting.empty() && !flow.shut) {
        shutdown(flow.to, SHUT_WR);
        flow.shut = true;
    }
    return true;
}

/// A new client's connection and its own to the server, both non-blocking
/// and sending small packets at once; none when the server refused.
inline std::optional<Link> openLink(int listener, const Upstream& upstream) {
    Socket client(accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    Socket server(socket(upstream.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (client.fd() < 0 || server.fd() < 0 ||
        connect(server.fd(), reinterpret_cast<const sockaddr*>(&upstream.address), upstream.length) != 0 ||
        fcntl(server.fd(), F_SETFL, O_NONBLOCK) != 0)
        return std::nullopt;
    const int on = 1;
    setsockopt(client.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (upstream.address.ss_family != AF_UNIX)
        setsockopt(server.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return Link(std::move(client), std::move(server));
}

/// What to wait for on one of a link's sockets: reading for the flow that
/// leaves from it, writing for the flow that goes to it once a chunk is
/// due.  A socket with nothing to wait for is left out (a negative fd), so
/// that a hang-up there does not wake the loop again and again.
inline pollfd watch(int fd, const Flow& leaving, const Flow& arriving, Clock::time_point now) {
    const short events = static_cast<short>((leaving.wantsRead() ? POLLIN : 0) | (arriving.due(now) ? POLLOUT : 0));
    return {events != 0 ? fd : -1, events, 0};
}

/// The relay's loop, in its own process until it is ended by a signal.
[[noreturn]] inline void serve(int listener, const Upstream& upstream, Delay delay) {
    std::list<Link> links;
    std::vector<pollfd> fds;
    for (;;) {
        Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next;
        fds.assign(1, {listener, POLLIN, 0});
        for (const Link& link : links) {
            fds.push_back(watch(link.client.fd(), link.up, link.down, now));
            fds.push_back(watch(link.server.fd(), link.down, link.up, now));
            for (const Flow* flow : {&link.up, &link.down})
                if (!flow->waiting.empty() && !flow->due(now))
                    next = std::min(next.value_or(flow->waiting.front().due), flow->waiting.front().due);
        }
        timespec wait{};
        if (next) {
            const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(*next - now).count();
            wait = {static_cast<time_t>(nanos / 1000000000), static_cast<long>(nanos % 1000000000)};
        }
        if (ppoll(fds.data(), fds.size(), next ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
            _exit(1);
        now = Clock::now();
        std::size_t at = 1;
        for (Link& link : links) {
            const short clientEvents = fds[at++].revents, serverEvents = fds[at++].revents;
            const short readable = POLLIN | POLLHUP | POLLERR;
            bool good = (!(clientEvents & readable) || readChunk(link.up, now, delay)) &&
                        (!(serverEvents & readable) || readChunk(link.down, now, delay));
            good = good && writeDue(link.up, now) && writeDue(link.down, now);
            link.broken = !good;
        }
        links.remove_if([](const Link& link) { return link.finished(); });
        if (fds[0].revents & POLLIN)
            if (std::optional<Link> link = openLink(listener, upstream))
                links.push_back(std::move(*link));
    }
}

}  // namespace relay

/// A relay in a child process of its own, from start until dropped; not
/// copyable.  It forwards to one server for as long as it runs, any
/// number of connections at once.
class LatencyRelay {
public:
    LatencyRelay() = default;
    LatencyRelay(const LatencyRelay&) = delete;
    LatencyRelay& operator=(const LatencyRelay&) = delete;
    ~LatencyRelay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    /// Listens on a free loopback port and starts forwarding to upstream,
    /// each direction's chunks held for delay; false (said why) when it
    /// cannot.  Call it while this process runs one thread.
    bool start(const Upstream& upstream, relay::Delay delay) {
        relay::Socket listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener.fd() < 0 || bind(listener.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener.fd(), 64) != 0 ||
            getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return fail("the relay cannot listen on the loopback");
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid < 0)
            return fail("the relay cannot be started");
        if (pid == 0) {
            // The relay must not outlive the benchmark, however that ends;
            // and its waits end when due, not up to 50 us later as the
            // kernel's default slack for timers lets them.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            prctl(PR_SET_TIMERSLACK, 1UL);
            relay::serve(listener.fd(), upstream, delay);
        }
        pid_ = pid;
        port_ = ntohs(address.sin_port);
        return true;
    }

    /// The keywords that reach the cluster through the relay: its own
    /// user and password, the relay's address.
    Keywords keywordsFor(const Cluster& cluster) const {
        Keywords keywords = {{"host", "127.0.0.1"}, {"port", std::to_string(port_)}};
        for (const auto& [keyword, value] : cluster.keywords)
            if (keyword != "host" && keyword != "port")
                keywords.emplace_back(keyword, value);
        return keywords;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

/// The mean time of one round trip to the database conninfo names, over
/// count empty statements; negative when it cannot be reached.
inline double roundTripMs(const std::string& conninfo, int count) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    double ms = -1;
    if (PQstatus(conn) == CONNECTION_OK) {
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i)
            PQclear(PQexec(conn, ""));
        ms = secondsSince(start) * 1000.0 / count;
    }
    PQfinish(conn);
    return ms;
}

}  // namespace pelo::bench
