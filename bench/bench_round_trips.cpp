// The program's check cycle over a modelled network: nginx on loopback behind a proxy that
// holds every byte half a round trip each way and a new connection one round trip more, one
// loopback address per host, over HTTP and over HTTPS with HTTP/2 and a private CA. Prints,
// per list, the first and the second cycle against N round trips, the checking thread's CPU,
// and the new connections and full TLS handshakes that nginx saw in each cycle.
#include "LatencyProxy.h"
#include "NginxServer.h"
#include "PrivateAuthority.h"
#include "app/CheckScheduler.h"
#include "model/AccessCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/time.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Whole seconds, as an HTTP date carries them.
constexpr qint64 fileTime = 1'700'000'000'000;
// Fewer new connections than this are lost in the noise of the pages' CPU.
constexpr int minConnectionsToTell = 10;
// Servers that keep a connection as long as a client may want it.
const QByteArray keepAlive = "keepalive_requests 1000000; keepalive_timeout 600s;";

struct Row {
    int pages;
    int hosts;
    int roundTripMs;
    bool tls;
};

struct Cycle {
    double seconds = 0;
    double cpuSeconds = 0;
    int newConnections = 0;
    int fullHandshakes = 0;
    int undated = 0;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Times each cycle from the checking thread, which is the one calling the scheduler.
class CycleClock final : public CheckCycleObserver {
public:
    int finished = 0;
    Cycle last;

    void cycleStarted() override {
        start = Clock::now();
        cpuAtStart = threadCpuSeconds();
    }
    void cycleFinished() override {
        last = {};
        last.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        last.cpuSeconds = threadCpuSeconds() - cpuAtStart;
        ++finished;
    }

private:
    Clock::time_point start;
    double cpuAtStart = 0;
};

QList<int> numbers(const QString& text) {
    QList<int> values;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts))
        values.append(std::max(1, part.toInt()));
    return values;
}

bool makePages(const QString& root, int count) {
    const timeval times[2] = {{fileTime / 1000, 0}, {fileTime / 1000, 0}};
    for (int i = 0; i < count; ++i) {
        const QString path = root + QStringLiteral("/p%1").arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("<html></html>\n") < 0)
            return false;
        file.close();
        if (utimes(QFile::encodeName(path).constData(), times) != 0)
            return false;
    }
    return true;
}

// Page i lives on host i % hosts, so a cycle goes round the hosts in turn.
PageList pageList(const Row& row, const LatencyProxy& proxy) {
    auto pages = std::make_shared<PageVector>();
    for (int i = 0; i < row.pages; ++i) {
        auto page = std::make_shared<Page>(nullptr);
        page->setPageURLString(
            QStringLiteral("%1://%2:%3/p%4")
                .arg(row.tls ? "https" : "http", LatencyProxy::hostAddress(i % row.hosts))
                .arg(proxy.port())
                .arg(i));
        pages->push_back(std::move(page));
    }
    return pages;
}

// What nginx saw of a cycle: connections not seen before, and how many of them began with a
// full TLS handshake.
void countConnections(const QList<NginxServer::Request>& requests, bool tls, QSet<qint64>& seen,
                      Cycle& cycle) {
    for (const auto& request : requests) {
        if (seen.contains(request.connection))
            continue;
        seen.insert(request.connection);
        ++cycle.newConnections;
        cycle.fullHandshakes += tls && !request.sessionResumed;
    }
}

// Waits until nginx has logged a cycle's requests: it logs each as it answers it, a little
// before the answer arrives.
QList<NginxServer::Request> requestsSince(const NginxServer& server, qsizetype logged,
                                          int expected) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (server.requests().size() < logged + expected && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server.requests().mid(logged);
}

void printRow(const Row& row, const Cycle (&cycles)[2]) {
    const double roundTrips = row.pages * row.roundTripMs / 1000.0;
    const int newOnes = cycles[0].newConnections - cycles[1].newConnections;
    char perConnection[16] = "-";
    if (newOnes >= minConnectionsToTell)
        std::snprintf(perConnection, sizeof perConnection, "%.2f",
                      (cycles[0].cpuSeconds - cycles[1].cpuSeconds) * 1000 / newOnes);
    std::printf("%5d %5d %4d %5s | %8.2f %8.2f %8.2f %6.3f | %7.3f %7.3f | %4d %4d %4d %4d | "
                "%8s %8.3f\n",
                row.pages, row.hosts, row.roundTripMs, row.tls ? "https" : "http",
                cycles[0].seconds, cycles[1].seconds, roundTrips, cycles[1].seconds / roundTrips,
                cycles[0].cpuSeconds, cycles[1].cpuSeconds, cycles[0].newConnections,
                cycles[1].newConnections, cycles[0].fullHandshakes, cycles[1].fullHandshakes,
                perConnection, cycles[1].cpuSeconds * 1000 / row.pages);
    for (int i = 0; i < 2; ++i)
        if (cycles[i].undated > 0)
            std::printf("      cycle %d: %d pages not dated\n", i + 1, cycles[i].undated);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The check cycle over a modelled network.");
    parser.addHelpOption();
    const QCommandLineOption pagesOption("pages", "List sizes.", "N,...", "100,500,2000");
    const QCommandLineOption hostsOption("hosts", "Hosts per list.", "H,...", "1,10,100");
    const QCommandLineOption roundTripOption("rtt", "Round trips in ms.", "MS,...", "20,100");
    const QCommandLineOption schemeOption("scheme", "http, https or both.", "S,...", "http,https");
    parser.addOptions({pagesOption, hostsOption, roundTripOption, schemeOption});
    parser.process(application);
    const QList<int> pageCounts = numbers(parser.value(pagesOption));
    const QList<int> hostCounts = numbers(parser.value(hostsOption));
    const QList<int> roundTrips = numbers(parser.value(roundTripOption));
    const QStringList schemes = parser.value(schemeOption).split(',', Qt::SkipEmptyParts);
    const int mostHosts = *std::max_element(hostCounts.begin(), hostCounts.end());
    if (mostHosts > 250) {
        std::printf("at most 250 hosts: they are 127.0.0.2 to 127.0.0.251\n");
        return 2;
    }

    QTemporaryDir root;
    const PrivateAuthority authority(mostHosts + 1);
    if (!root.isValid() || !authority.isValid() ||
        !makePages(root.path(), *std::max_element(pageCounts.begin(), pageCounts.end()))) {
        std::printf("cannot make the pages or the private CA\n");
        return 1;
    }
    const NginxServer plain({.root = root.path(), .serverDirectives = keepAlive});
    const NginxServer secure(
        {.root = root.path(), .tls = authority.server(), .serverDirectives = keepAlive});
    for (const NginxServer* server : {&plain, &secure})
        if (!server->isRunning()) {
            std::printf("nginx did not start: %s\n", qPrintable(server->errorText()));
            return 1;
        }

    std::printf("Seconds per cycle; the checking thread's CPU seconds; new connections and full\n"
                "TLS handshakes per cycle as nginx saw them; one idle second between cycles.\n");
    std::printf("%5s %5s %4s %5s | %8s %8s %8s %6s | %7s %7s | %9s %9s | %8s %8s\n", "N", "hosts",
                "rtt", "", "1st s", "2nd s", "N*rtt s", "2nd/", "CPU 1st", "CPU 2nd", "new conn",
                "full TLS", "CPU ms", "CPU ms");
    std::printf("%5s %5s %4s %5s | %8s %8s %8s %6s | %7s %7s | %4s %4s %4s %4s | %8s %8s\n", "", "",
                "ms", "", "", "", "", "N*rtt", "", "", "1st", "2nd", "1st", "2nd", "/new con",
                "/page");
    for (const QString& scheme : schemes)
        for (const int roundTripMs : roundTrips)
            for (const int hosts : hostCounts)
                for (const int pages : pageCounts) {
                    const Row row{pages, hosts, roundTripMs, scheme == "https"};
                    const NginxServer& server = row.tls ? secure : plain;
                    const LatencyProxy proxy(hosts, server.port(),
                                             std::chrono::milliseconds(roundTripMs));
                    if (!proxy.isRunning()) {
                        std::printf("the proxy cannot listen on %d hosts\n", hosts);
                        return 1;
                    }
                    PageListSlot slot;
                    slot.store(pageList(row, proxy));
                    std::atomic<qint32> limit{1};
                    AccessCheck check({}, authority.certificateFile());
                    CycleClock clock;
                    CheckScheduler scheduler(slot, limit, check, clock);

                    QSet<qint64> seen;
                    Cycle cycles[2];
                    for (Cycle& cycle : cycles) {
                        const qsizetype logged = server.requests().size();
                        const int wanted = clock.finished + 1;
                        while (clock.finished < wanted) {
                            std::this_thread::sleep_for(CheckScheduler::tickLength);
                            scheduler.tick();
                        }
                        cycle = clock.last;
                        countConnections(requestsSince(server, logged, pages), row.tls, seen,
                                         cycle);
                        for (const auto& page : *slot.load())
                            cycle.undated += page->getLastModifiedDateLong() != fileTime;
                    }
                    printRow(row, cycles);
                }
    return 0;
}
