#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <chrono>

// The window shown while the program starts: title picture, version and user name. It stays on
// screen for its show time, then installs the help file, hides and says it has finished.
class VelmoraStartWindow final : public QWidget {
    Q_OBJECT

public:
    VelmoraStartWindow(QWidget* owner, qint32 version);

    // Shows the window; the event loop runs on while it waits. Without a show time the window
    // finishes before this returns.
    void showFor(std::chrono::milliseconds showTime);

signals:
    void finished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void finish();

    QString VersionString;
    const QPixmap TitleImage;
    const QString UserName;
    QTimer showTimer;
};
