#include "TestHttpServer.h"
#include "model/AccessCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

// One cycle of sequential access checks against a local server. The checking thread's own CPU
// time per request is printed apart, since the in-process server shares the wall time.
namespace {

constexpr int pageCount = 1000;
constexpr int cycles = 7;

struct Figures {
    double min = 0;
    double median = 0;
    double cpuMin = 0; // checking thread only, per request
    double cpuMedian = 0;
};

double threadCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

Figures measure(const std::function<void()>& cycle) {
    std::vector<double> ms;
    std::vector<double> cpu;
    for (int i = 0; i < cycles; ++i) {
        QElapsedTimer timer;
        const double cpuStart = threadCpuMicroseconds();
        timer.start();
        cycle();
        ms.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back((threadCpuMicroseconds() - cpuStart) / pageCount);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms.front(), ms[ms.size() / 2], cpu.front(), cpu[cpu.size() / 2]};
}

void print(const char* what, const Figures& figures) {
    std::printf("%-38s min %8.1f ms   median %8.1f ms   (%d requests, %d cycles)\n", what,
                figures.min, figures.median, pageCount, cycles);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestHttpServer server;
    QStringList urls;
    for (int i = 0; i < pageCount; ++i) {
        const QString path = QStringLiteral("/page-%1").arg(i);
        server.setRoute(path, TestHttpServer::Route::modifiedAt(1'600'000'000'000 + i * 1000));
        urls << server.url(path);
    }

    AccessCheck check;
    int failures = 0;
    const Figures inProcess = measure([&] {
        for (const QString& url : urls)
            failures += check.checkEach(url) < 0;
    });
    print("AccessCheck::checkEach, one handle", inProcess);
    std::printf("  checking thread CPU per request: min %.1f us, median %.1f us\n",
                inProcess.cpuMin, inProcess.cpuMedian);
    std::printf("  TCP connections accepted over all cycles: %d\n", server.connectionCount());
    if (failures)
        std::printf("  %d checks failed\n", failures);
    return failures ? 1 : 0;
}
