#include "LatencyProxy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <deque>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int listenAttempts = 5;
constexpr size_t readSize = 64 * 1024;

sockaddr_in socketAddress(const QString& address, quint16 port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    inet_pton(AF_INET, address.toLatin1().constData(), &result.sin_addr);
    return result;
}

// Small writes go out at once: Nagle's wait would add to the round trip being modelled.
int tcpSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd >= 0)
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int listenOn(const QString& address, quint16 port) {
    const int fd = tcpSocket();
    const int on = 1;
    const sockaddr_in at = socketAddress(address, port);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || listen(fd, 256) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

quint16 portOf(int fd) {
    sockaddr_in at{};
    socklen_t length = sizeof at;
    getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    return ntohs(at.sin_port);
}

// Bytes read from one side, to be written to the other when due; an empty chunk with `end`
// passes the end of the stream on.
struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes;
    size_t written = 0;
    bool end = false;
};

// One direction of a relay.
struct Flow {
    int from = -1;
    int to = -1;
    std::deque<Chunk> chunks;
    bool reading = true;  // `from` may still send
    bool blocked = false; // `to` took no more; written again once it can
    bool done() const { return !reading && chunks.empty(); }
};

} // namespace

struct LatencyProxy::Relay {
    Flow up;   // client to server
    Flow down; // server to client
    Clock::time_point opened;
    bool broken = false;

    Relay(int client, int server) : opened(Clock::now()) {
        up.from = down.to = client;
        up.to = down.from = server;
    }
    ~Relay() {
        close(up.from);
        close(up.to);
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;
};

namespace {

// Reads what `flow.from` sent and queues it for `due`.
bool readInto(Flow& flow, Clock::time_point due) {
    if (!flow.chunks.empty())
        due = std::max(due, flow.chunks.back().due);
    std::vector<char> buffer(readSize);
    const ssize_t got = recv(flow.from, buffer.data(), buffer.size(), 0);
    if (got > 0) {
        buffer.resize(static_cast<size_t>(got));
        flow.chunks.push_back({due, std::move(buffer)});
    } else if (got == 0) {
        flow.reading = false;
        flow.chunks.push_back({due, {}, 0, true});
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return false;
    }
    return true;
}

// Writes the chunks that are due; notes when the next one falls due.
bool deliver(Flow& flow, Clock::time_point now, std::optional<Clock::time_point>& next) {
    while (!flow.chunks.empty() && !flow.blocked) {
        Chunk& chunk = flow.chunks.front();
        if (chunk.due > now) {
            next = next ? std::min(*next, chunk.due) : chunk.due;
            return true;
        }
        if (chunk.end) {
            shutdown(flow.to, SHUT_WR);
            flow.chunks.pop_front();
            continue;
        }
        const ssize_t sent = send(flow.to, chunk.bytes.data() + chunk.written,
                                  chunk.bytes.size() - chunk.written, MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            flow.blocked = true;
        } else if (sent < 0) {
            return errno == EINTR;
        } else if ((chunk.written += static_cast<size_t>(sent)) == chunk.bytes.size()) {
            flow.chunks.pop_front();
        }
    }
    return true;
}

// What to wait for on a socket; a socket with nothing to wait for is left out, since a closed
// one would report its hang-up for ever.
pollfd polling(int fd, const Flow& readFrom, const Flow& writeTo) {
    const auto events =
        static_cast<short>((readFrom.reading ? POLLIN : 0) | (writeTo.blocked ? POLLOUT : 0));
    return {events ? fd : -1, events, 0};
}

} // namespace

LatencyProxy::LatencyProxy(int hosts, quint16 serverPort, std::chrono::microseconds roundTrip)
    : serverPort(serverPort), roundTrip(roundTrip) {
    wakeUp = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeUp >= 0 && listenOnEveryHost(hosts))
        thread = std::thread([this] { run(); });
}

LatencyProxy::~LatencyProxy() {
    stopping = true;
    if (thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeUp, &one, sizeof one);
        thread.join();
    }
    for (const int fd : listeners)
        close(fd);
    if (wakeUp >= 0)
        close(wakeUp);
}

QString LatencyProxy::hostAddress(int host) {
    return QStringLiteral("127.0.0.%1").arg(host + 2);
}

// The first address takes a free port; the others are asked for the same one, and another
// port is tried when one of them has it taken.
bool LatencyProxy::listenOnEveryHost(int hosts) {
    for (int attempt = 0; attempt < listenAttempts; ++attempt) {
        for (int host = 0; host < hosts; ++host) {
            const int fd = listenOn(hostAddress(host), host == 0 ? 0 : listenPort);
            if (fd < 0)
                break;
            listeners.push_back(fd);
            if (host == 0)
                listenPort = portOf(fd);
        }
        if (static_cast<int>(listeners.size()) == hosts)
            return true;
        for (const int fd : listeners)
            close(fd);
        listeners.clear();
    }
    return false;
}

void LatencyProxy::run() {
    std::vector<std::unique_ptr<Relay>> relays;
    std::vector<pollfd> polled;
    const sockaddr_in server = socketAddress(QStringLiteral("127.0.0.1"), serverPort);
    while (!stopping) {
        auto now = Clock::now();
        std::optional<Clock::time_point> next;
        for (const auto& relay : relays)
            relay->broken =
                relay->broken || !deliver(relay->up, now, next) || !deliver(relay->down, now, next);
        std::erase_if(relays, [](const auto& relay) {
            return relay->broken || (relay->up.done() && relay->down.done());
        });

        polled.assign({{wakeUp, POLLIN, 0}});
        for (const int fd : listeners)
            polled.push_back({fd, POLLIN, 0});
        for (const auto& relay : relays) {
            polled.push_back(polling(relay->up.from, relay->up, relay->down));
            polled.push_back(polling(relay->up.to, relay->down, relay->up));
        }
        const auto wait =
            next ? std::max(Clock::duration::zero(), *next - now) : Clock::duration::zero();
        const auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec timeout{waitNs / 1'000'000'000, waitNs % 1'000'000'000};
        if (ppoll(polled.data(), polled.size(), next ? &timeout : nullptr, nullptr) < 0 &&
            errno != EINTR)
            return;
        if (polled[0].revents != 0)
            return;

        now = Clock::now();
        const size_t firstRelay = 1 + listeners.size();
        const size_t polledRelays = relays.size();
        for (size_t i = 1; i < firstRelay; ++i) {
            if (!(polled[i].revents & POLLIN))
                continue;
            const int client =
                accept4(polled[i].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client < 0)
                continue;
            const int upstream = tcpSocket();
            // A loopback connect is done at once; the relay then waits without blocking.
            if (upstream < 0 ||
                connect(upstream, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
                close(client);
                if (upstream >= 0)
                    close(upstream);
                continue;
            }
            const int on = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ioctl(upstream, FIONBIO, &on);
            relays.push_back(std::make_unique<Relay>(client, upstream));
        }
        const auto half = roundTrip / 2;
        for (size_t r = 0; r < polledRelays; ++r) {
            Relay& relay = *relays[r];
            const short fromClient = polled[firstRelay + 2 * r].revents;
            const short fromServer = polled[firstRelay + 2 * r + 1].revents;
            // The client's first bytes leave once its handshake would have ended.
            const auto upDue = std::max(now, relay.opened + roundTrip) + half;
            if (fromClient & (POLLOUT | POLLERR))
                relay.down.blocked = false;
            if (fromServer & (POLLOUT | POLLERR))
                relay.up.blocked = false;
            if ((fromClient & (POLLIN | POLLHUP | POLLERR)) && relay.up.reading)
                relay.broken = relay.broken || !readInto(relay.up, upDue);
            if ((fromServer & (POLLIN | POLLHUP | POLLERR)) && relay.down.reading)
                relay.broken = relay.broken || !readInto(relay.down, now + half);
        }
    }
}
