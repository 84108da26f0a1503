// The whole program's check cycle (controller, scheduler, access check, with the window on the
// GUI thread) against a bare libcurl HEAD loop over the same loopback server, per page, at
// several list sizes. Everything runs on one CPU, so wall time is the work of every thread and
// of the server together. Also: the GUI thread's CPU per cycle, an edit, and memory.
#include "NginxServer.h"
#include "app/Velmora.h"
#include "model/AccessCheck.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <curl/curl.h>
#include <limits>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/time.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// List sizes measured unless others are given on the command line.
constexpr int defaultSizes[] = {1000, 5000, 10000};
// Cycles measured per list size: short cycles are taken more often, so that every size is
// measured over some ten thousand requests.
int measuredCycles(qsizetype pages) {
    return static_cast<int>(std::max<qsizetype>(5, 10000 / std::max<qsizetype>(pages, 1)));
}
constexpr int edits = 7;
// Whole seconds, as an HTTP date carries them.
constexpr qint64 fileTime = 1'700'000'000'000;

// The median and the least of a set of rounds: on a machine shared with other work the least
// is the steadier figure of what the code itself costs.
struct Spread {
    double median = 0;
    double least = 0;
};

Spread spread(std::vector<double> values) {
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front()};
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double threadCpuMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Times the program's cycles from inside: the first request of a cycle to the end of its last,
// and the GUI thread's CPU from one cycle's start to the next's.
struct CycleLog {
    int pagesPerCycle = 0;
    int cyclesWanted = 0;
    clockid_t guiClock{};
    QEventLoop* done = nullptr;

    std::mutex mutex;
    int requests = 0;
    Clock::time_point cycleStart;
    double guiAtStart = 0;
    std::vector<double> cycleUs;
    std::vector<double> guiMs;
    // Counted cycles that have ended; the libcurl loop runs in the idle time after each.
    int cyclesEnded = 0;
    bool measuring = true;
    std::condition_variable cycleEnded;
};

class TimedCheck final : public PageChecker {
public:
    explicit TimedCheck(CycleLog& log) : log(log) {}

    qint64 checkEach(const QString& url) override {
        {
            const std::lock_guard lock(log.mutex);
            if (log.requests % log.pagesPerCycle == 0) {
                const double gui = threadCpuMs(log.guiClock);
                // The first cycle opens the connection and is not counted.
                if (log.requests > log.pagesPerCycle)
                    log.guiMs.push_back(gui - log.guiAtStart);
                log.guiAtStart = gui;
                log.cycleStart = Clock::now();
            }
        }
        const qint64 result = check.checkEach(url);
        const std::lock_guard lock(log.mutex);
        if (++log.requests % log.pagesPerCycle == 0 && log.requests > log.pagesPerCycle) {
            log.cycleUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - log.cycleStart).count());
            ++log.cyclesEnded;
            log.cycleEnded.notify_all();
        }
        if (static_cast<int>(log.guiMs.size()) == log.cyclesWanted && log.done) {
            QMetaObject::invokeMethod(log.done, &QEventLoop::quit, Qt::QueuedConnection);
            log.done = nullptr;
        }
        return result;
    }
    void abort() override { check.abort(); }

private:
    CycleLog& log;
    AccessCheck check;
};

QStringList makePages(const NginxServer& server, const QString& root, int count) {
    QStringList urls;
    const timeval times[2] = {{fileTime / 1000, 0}, {fileTime / 1000, 0}};
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("/p%1").arg(i);
        const QString path = root + name;
        QFile file(path);
        if (!file.exists()) {
            file.open(QIODevice::WriteOnly);
            file.close();
            utimes(path.toLocal8Bit().constData(), times);
        }
        urls << server.url(name);
    }
    return urls;
}

// The floor: a bare libcurl HEAD loop with one reused handle over the same addresses.
class CurlLoop {
public:
    explicit CurlLoop(const QStringList& urls) : handle(curl_easy_init()) {
        for (const QString& url : urls)
            addresses.push_back(url.toUtf8());
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(handle, CURLOPT_FILETIME, 1L);
    }
    ~CurlLoop() { curl_easy_cleanup(handle); }
    CurlLoop(const CurlLoop&) = delete;
    CurlLoop& operator=(const CurlLoop&) = delete;

    // One pass over every address, in microseconds per request.
    double round() {
        const auto start = Clock::now();
        for (const QByteArray& address : addresses) {
            curl_easy_setopt(handle, CURLOPT_URL, address.constData());
            curl_off_t time = -1;
            if (curl_easy_perform(handle) != CURLE_OK ||
                curl_easy_getinfo(handle, CURLINFO_FILETIME_T, &time) != CURLE_OK ||
                time * 1000 != fileTime)
                ++failures;
        }
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
               static_cast<double>(addresses.size());
    }
    int failed() const { return failures; }

private:
    CURL* handle;
    std::vector<QByteArray> addresses;
    int failures = 0;
};

double accessCheckLoopUs(const QStringList& urls) {
    AccessCheck check;
    std::vector<double> rounds;
    for (int round = 0; round <= measuredCycles(urls.size()); ++round) {
        const auto start = Clock::now();
        for (const QString& url : urls)
            check.checkEach(url);
        if (round > 0)
            rounds.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                urls.size());
    }
    return median(rounds);
}

void writeFiles(const QStringList& urls) {
    QByteArray group = QByteArray::number(urls.size()) + ',';
    for (int i = 0; i < urls.size(); ++i)
        group += "page " + QByteArray::number(i) + ',' + urls[i].toUtf8() + ',' +
                 QByteArray::number(fileTime) + ',';
    QFile groupFile(QStringLiteral("Group.dat"));
    groupFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
    groupFile.write(group);
    QFile settingFile(QStringLiteral("Setting.ini"));
    settingFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
    settingFile.write(",1,");
}

struct EditTime {
    double wallMs = 0;
    double cpuMs = 0;
};

// Adds one page through the dialog, as a user would; timed from OK to the repainted window,
// on the wall clock (what the user waits, the file's flush to disk included) and in the GUI
// thread's CPU time (what other processes on a busy machine cannot inflate).
EditTime editTime(Velmora& window, const QString& url, clockid_t guiClock) {
    EditTime time;
    Clock::time_point pressed;
    double cpuPressed = 0;
    QTimer::singleShot(0, &window, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        dialog->findChild<QLineEdit*>(QStringLiteral("TitleTextField"))->setText("added");
        dialog->findChild<QLineEdit*>(QStringLiteral("URLTextField"))->setText(url);
        pressed = Clock::now();
        cpuPressed = threadCpuMs(guiClock);
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    window.addPage();
    window.repaint();
    QCoreApplication::processEvents();
    time.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - pressed).count();
    time.cpuMs = threadCpuMs(guiClock) - cpuPressed;
    return time;
}

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Qt's notes about what the offscreen platform cannot do would break up the table.
void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv) {
    // One CPU for every thread of this process and for the server.
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    curl_global_init(CURL_GLOBAL_DEFAULT);
    qInstallMessageHandler(dropMessages);
    QApplication application(argc, argv);

    QTemporaryDir work;
    const QString root = work.path() + QStringLiteral("/www");
    QDir().mkpath(root);
    // No log to write per request, and one connection for a whole cycle.
    const NginxServer server({root, std::nullopt, "access_log off; keepalive_requests 1000000;"});
    if (!server.isRunning()) {
        std::printf("nginx did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    sched_setaffinity(static_cast<pid_t>(server.processId()), sizeof set, &set);
    QDir::setCurrent(work.path());

    std::printf("One CPU (%d) for the program and nginx; medians of at least %d cycles after a\n"
                "first, each followed by a pass of the libcurl loop; the ratio of the least\n"
                "of each too, steadier on a busy machine.\n",
                cpu, measuredCycles(std::numeric_limits<qsizetype>::max()));
    std::printf("%6s %14s %14s %7s %10s %14s %13s %9s %12s %8s\n", "N", "program us/pg",
                "libcurl us/pg", "ratio", "ratio min", "AccessCheck us", "GUI CPU ms/cy", "edit ms",
                "edit CPU ms", "RSS MB");
    std::vector<int> sizes(std::begin(defaultSizes), std::end(defaultSizes));
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::max(1, QByteArray(argv[i]).toInt()));
    }
    for (const int count : sizes) {
        const QStringList urls = makePages(server, root, count + edits);
        const QStringList listed = urls.mid(0, count);
        CurlLoop curl(listed);
        // The first pass opens the connection and is not counted.
        curl.round();
        const double checkUs = accessCheckLoopUs(listed);

        writeFiles(listed);
        CycleLog log;
        log.pagesPerCycle = count;
        log.cyclesWanted = measuredCycles(count);
        pthread_getcpuclockid(pthread_self(), &log.guiClock);
        QEventLoop cyclesDone;
        log.done = &cyclesDone;

        VelmoraServices services = VelmoraServices::real();
        services.makeChecker = [&log] { return std::make_unique<TimedCheck>(log); };
        services.quit = [] {};
        services.startWindowTime = std::chrono::milliseconds(0);
        Spread programUs;
        double guiMs = 0;
        std::vector<double> editWall;
        std::vector<double> editCpu;
        double rss = 0;
        // The floor is measured in the idle second after each of the program's cycles, so that
        // both see the machine as it is at that time.
        std::vector<double> curlRounds;
        std::thread floor([&] {
            std::unique_lock lock(log.mutex);
            for (int round = 0; round < log.cyclesWanted; ++round) {
                log.cycleEnded.wait(lock,
                                    [&] { return log.cyclesEnded > round || !log.measuring; });
                if (log.cyclesEnded <= round)
                    return;
                lock.unlock();
                curlRounds.push_back(curl.round());
                lock.lock();
            }
        });
        {
            Velmora window(services);
            cyclesDone.exec();
            {
                const std::lock_guard lock(log.mutex);
                log.measuring = false;
            }
            log.cycleEnded.notify_all();
            floor.join();
            {
                const std::lock_guard lock(log.mutex);
                programUs = spread(log.cycleUs);
                programUs.median /= count;
                programUs.least /= count;
                guiMs = median(log.guiMs);
                // Edits change the list's length; cycles from here on are not counted.
                log.pagesPerCycle = 1 << 30;
            }
            for (int i = 0; i < edits; ++i) {
                const EditTime edit = editTime(window, urls[count + i], log.guiClock);
                editWall.push_back(edit.wallMs);
                editCpu.push_back(edit.cpuMs);
            }
            rss = residentMb();
        }
        if (curl.failed())
            std::printf("  libcurl loop: %d requests failed\n", curl.failed());
        const Spread curlUs = spread(curlRounds);
        std::printf("%6d %14.1f %14.1f %7.2f %10.2f %14.1f %13.2f %9.1f %12.1f %8.1f\n", count,
                    programUs.median, curlUs.median, programUs.median / curlUs.median,
                    programUs.least / curlUs.least, checkUs, guiMs, median(editWall),
                    median(editCpu), rss);
        std::fflush(stdout);
    }
    curl_global_cleanup();
    return 0;
}
