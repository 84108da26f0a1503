#include "platform/ComeForwardSignal.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int requestSignal = SIGUSR1;
// Read end, write end; the handler can reach nothing but globals.
int requestPipe[2] = {-1, -1};

void onRequest(int) {
    const int saved = errno;
    // A full pipe already holds a request, which is all there is to say.
    [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], "", 1);
    errno = saved;
}

} // namespace

ComeForwardSignal::ComeForwardSignal() {
    if (::pipe2(requestPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        // Without the pipe the request is still never fatal.
        std::signal(requestSignal, SIG_IGN);
        return;
    }
    struct sigaction action {};
    action.sa_handler = onRequest;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(requestSignal, &action, nullptr);
}

ComeForwardSignal::~ComeForwardSignal() {
    std::signal(requestSignal, SIG_IGN);
    delete notifier;
    for (int& end : requestPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void ComeForwardSignal::listen() {
    if (requestPipe[0] < 0 || notifier)
        return;
    notifier = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ComeForwardSignal::drain);
}

bool ComeForwardSignal::send(pid_t copy) {
    return copy > 0 && ::kill(copy, requestSignal) == 0;
}

void ComeForwardSignal::drain() {
    char bytes[64];
    while (::read(requestPipe[0], bytes, sizeof bytes) > 0) {
    }
    emit requested();
}
