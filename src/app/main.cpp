#include "app/CommandLine.h"
#include "app/Velmora.h"
#include "platform/ComeForwardSignal.h"
#include "platform/FolderLock.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Before the folder lock: --help answers even where a copy runs, and a refused start
    // takes nothing.
    if (const std::optional<EarlyExit> early = answerBeforeStart(argc, argv))
        return deliver(*early);
    // Ready before the folder is ours, so that a second start's call never ends this copy.
    ComeForwardSignal comeForward;
    const FolderLock folder;
    if (folder.heldElsewhere()) {
        // The copy that runs here comes to the front; this one leaves every file alone.
        ComeForwardSignal::send(folder.holder());
        return 0;
    }
    std::optional<WindowSystemStart> windowSystemStart{std::in_place};
    QApplication application(argc, argv);
    windowSystemStart.reset();
    // Lets a Wayland desktop match the windows to the installed menu entry and its icon; on X11
    // the entry names the window class instead.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_APP_ID));
    Velmora velmora;
    QObject::connect(&comeForward, &ComeForwardSignal::requested, &velmora, &Velmora::startVelmora);
    comeForward.listen();
    return application.exec();
}
