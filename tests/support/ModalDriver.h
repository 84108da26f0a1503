#pragma once

#include <QApplication>
#include <QLabel>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <utility>

// Answers the modal windows a test opens, so that a test never waits for a person. A timer runs
// inside every modal loop and meets the active modal window whenever no step is at work on it:
// the next step takes it if the step names no window or names this one; an alert that no step
// waits for is answered with OK; any other window is closed and noted as stranded. A window met
// again, shown anew or still open after its step, goes to the next step: every showing is met.
class ModalDriver final : public QObject {
public:
    using Action = std::function<void(QWidget& window)>;

    struct Sighting {
        QPointer<QWidget> dialog; // null once the window has been destroyed
        QString name;
        QString title;
        bool alert = false;
        QString message;      // an alert's text, empty for other windows
        QPoint position;      // top-left corner of the frame, where QWidget::move puts it
        QSize size;           // the content, without the frame
        bool expected = true; // false when no step waited for it
    };

    ModalDriver() {
        connect(&timer, &QTimer::timeout, this, &ModalDriver::meetActiveModal);
        timer.start(pollInterval);
    }

    // The next window met, whichever it is, gets this action.
    ModalDriver& then(Action action) { return on({}, std::move(action)); }
    // The next window met must be the one of this object name.
    ModalDriver& on(const QString& window, Action action) {
        steps.push_back({window, std::move(action)});
        return *this;
    }

    // A left click on the window's button of this object name.
    static Action click(const QString& buttonName) {
        return [buttonName](QWidget& window) {
            if (auto* button = window.findChild<QPushButton*>(buttonName))
                QTest::mouseClick(button, Qt::LeftButton);
        };
    }

    // The same request the window's close box sends.
    static Action closeWindow() {
        return [](QWidget& window) { window.close(); };
    }

    const QList<Sighting>& sightings() const { return seen; }
    // The text of every window met, empty for those that are no alert.
    QStringList messages() const {
        QStringList texts;
        for (const Sighting& each : seen)
            texts << each.message;
        return texts;
    }
    QStringList alerts() const {
        QStringList texts;
        for (const Sighting& each : seen) {
            if (each.alert)
                texts << each.message;
        }
        return texts;
    }
    // Every step ran to its end and no window was left without one.
    bool ranToTheEnd() const { return steps.empty() && busy.isEmpty() && stranded.isEmpty(); }

    QStringList stranded;

private:
    // Often enough that a window never waits long; a zero interval would spin the CPU.
    static constexpr int pollInterval = 5;

    struct Step {
        QString window;
        Action action;
    };

    void meetActiveModal() {
        QWidget* window = QApplication::activeModalWidget();
        // A step at work on a window (waiting in an alert it raised) still has it; one waiting
        // in a window it opened leaves that window to the next step.
        if (!window || !window->isVisible() || busy.contains(window))
            return;
        const auto* label = window->findChild<QLabel*>(QStringLiteral("AlertLabel"));
        Sighting sighting{window,
                          window->objectName(),
                          window->windowTitle(),
                          label != nullptr,
                          label ? label->text() : QString(),
                          window->pos(),
                          window->size()};

        Action action;
        if (!steps.empty() &&
            (steps.front().window.isEmpty() || steps.front().window == window->objectName())) {
            action = std::move(steps.front().action);
            steps.pop_front();
        } else if (sighting.alert) {
            sighting.expected = false;
            action = click(QStringLiteral("OKButton"));
        } else {
            sighting.expected = false;
            stranded << window->objectName();
            action = closeOrHide;
        }
        seen << sighting;
        // Run outside this timer's slot: an action that opens another modal window waits there,
        // and Qt would not fire this timer again until the slot returned.
        busy.append(window);
        QTimer::singleShot(0, this, [this, action, target = QPointer(window)] {
            if (target)
                action(*target);
            busy.removeOne(target);
            busy.removeAll(nullptr);
        });
    }

    // A window no step waits for must not hold the test, even one that refuses to close.
    static void closeOrHide(QWidget& window) {
        const QPointer<QWidget> unplanned = &window;
        unplanned->close();
        if (unplanned && unplanned->isVisible())
            unplanned->hide();
    }

    QTimer timer;
    std::deque<Step> steps;
    QList<QPointer<QWidget>> busy;
    QList<Sighting> seen;
};
