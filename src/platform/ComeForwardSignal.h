#pragma once

#include <QObject>
#include <sys/types.h>

class QSocketNotifier;

// A second start's request that this copy's window come to the front, carried by SIGUSR1.
// The handler only writes a byte to a pipe; the GUI thread reads it and emits requested().
// Only one exists per process.
class ComeForwardSignal final : public QObject {
    Q_OBJECT

public:
    // From here on the signal never ends the process; requests wait until listen().
    ComeForwardSignal();
    ~ComeForwardSignal() override;

    // Starts delivering the requests, those that came before included (needs the application).
    void listen();

    // Asks the copy running as this process to come forward; false when it cannot be asked.
    static bool send(pid_t copy);

signals:
    void requested();

private:
    void drain();

    QSocketNotifier* notifier = nullptr;
};
