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
#include <QVariant>
#include <QWidget>
#include <deque>
#include <functional>
#include <utility>

// Answers modal dialogs for a test. A timer keeps running inside the dialogs' own event loops
// and meets every modal dialog once: it records what the dialog showed, then hands it the next
// queued action, or closes it when none is queued, so a test never waits for a person.
class ModalDriver {
public:
    using Action = std::function<void(QWidget& dialog)>;

    struct Sighting {
        QPointer<QWidget> dialog; // null once the dialog has been destroyed
        QString title;
        QString message;      // text of the label named at construction, empty without one
        QPoint position;      // top-left corner of the frame, where QWidget::move puts it
        QSize size;           // the content, without the frame
        bool expected = true; // false when no action was queued for it
    };

    explicit ModalDriver(QString messageLabel = QStringLiteral("AlertLabel"))
        : messageLabel(std::move(messageLabel)) {
        QObject::connect(&timer, &QTimer::timeout, [this] { meetActiveModal(); });
        timer.start(pollInterval);
    }

    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // The next modal dialog that opens gets this action; later ones get the actions after it.
    ModalDriver& then(Action action) {
        actions.push_back(std::move(action));
        return *this;
    }

    // A left click on the dialog's button of this object name.
    static Action click(const QString& buttonName) {
        return [buttonName](QWidget& dialog) {
            if (auto* button = dialog.findChild<QPushButton*>(buttonName))
                QTest::mouseClick(button, Qt::LeftButton);
        };
    }

    // The same request the window's close box sends.
    static Action closeWindow() {
        return [](QWidget& dialog) { dialog.close(); };
    }

    const QList<Sighting>& sightings() const { return seen; }
    QStringList messages() const {
        QStringList texts;
        for (const Sighting& each : seen)
            texts << each.message;
        return texts;
    }
    qsizetype pendingActions() const { return static_cast<qsizetype>(actions.size()); }

private:
    // Often enough that a dialog never waits long; a zero interval would spin the CPU.
    static constexpr int pollInterval = 5;
    static constexpr const char* metMark = "modalDriverMet";

    void meetActiveModal() {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || dialog->property(metMark).toBool())
            return;
        dialog->setProperty(metMark, true);

        Sighting sighting;
        sighting.dialog = dialog;
        sighting.title = dialog->windowTitle();
        if (const auto* label = dialog->findChild<QLabel*>(messageLabel))
            sighting.message = label->text();
        sighting.position = dialog->pos();
        sighting.size = dialog->size();
        sighting.expected = !actions.empty();
        seen << sighting;

        Action action = closeOrHide;
        if (!actions.empty()) {
            action = std::move(actions.front());
            actions.pop_front();
        }
        // Run outside this timer's slot: an action that opens another modal dialog blocks
        // there, and Qt would not fire this timer again until the slot returned.
        QTimer::singleShot(0, dialog, [action, dialog] { action(*dialog); });
    }

    // An unplanned dialog must not hold the test, even one that refuses to close.
    static void closeOrHide(QWidget& dialog) {
        const QPointer<QWidget> unplanned = &dialog;
        unplanned->close();
        if (unplanned && unplanned->isVisible())
            unplanned->hide();
    }

    const QString messageLabel;
    QTimer timer;
    std::deque<Action> actions;
    QList<Sighting> seen;
};
