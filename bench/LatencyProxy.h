#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// A TCP relay that puts a network's round trip between a client and a server on loopback:
// every byte is held half the round trip on its way in either direction, and a new
// connection's first bytes one round trip more, as the TCP handshake would take. It listens
// on one loopback address per host, 127.0.0.2 on, all on one port, and relays each connection
// to its own connection to the server.
class LatencyProxy {
public:
    LatencyProxy(int hosts, quint16 serverPort, std::chrono::microseconds roundTrip);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    bool isRunning() const { return thread.joinable(); }
    quint16 port() const { return listenPort; }
    static QString hostAddress(int host);

private:
    struct Relay;
    bool listenOnEveryHost(int hosts);
    void run();

    std::vector<int> listeners;
    quint16 listenPort = 0;
    quint16 serverPort;
    std::chrono::microseconds roundTrip;
    int wakeUp = -1; // an eventfd that ends run()
    std::atomic<bool> stopping{false};
    std::thread thread;
};
