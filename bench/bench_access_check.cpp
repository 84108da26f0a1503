#include "TestHttpServer.h"
#include "model/AccessCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// One cycle of sequential access checks against a local server, next to the same requests made
// by one curl process each, as a shell loop would.
namespace {

constexpr int pageCount = 100;
constexpr int cycles = 5;

struct Figures {
    double min = 0;
    double median = 0;
};

Figures measure(const std::function<void()>& cycle) {
    std::vector<double> ms;
    for (int i = 0; i < cycles; ++i) {
        QElapsedTimer timer;
        timer.start();
        cycle();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
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
    std::printf("  TCP connections accepted over all cycles: %d\n", server.connectionCount());
    if (failures)
        std::printf("  %d checks failed\n", failures);

    const QString curl = QStandardPaths::findExecutable("curl");
    if (curl.isEmpty()) {
        std::printf("curl not found: no process figure\n");
        return failures ? 1 : 0;
    }
    int processFailures = 0;
    const Figures processes = measure([&] {
        for (const QString& url : urls) {
            QProcess process;
            process.start(curl, {"-s", "-I", "-o", "/dev/null", url});
            process.waitForFinished(-1);
            processFailures +=
                process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
        }
    });
    print("curl -s -I, one process per request", processes);
    if (processFailures)
        std::printf("  %d curl processes failed\n", processFailures);
    std::printf("ratio (median): %.1fx\n", processes.median / std::max(inProcess.median, 1e-3));
    return failures || processFailures ? 1 : 0;
}
