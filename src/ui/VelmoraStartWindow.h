#pragma once

#include <QPixmap>
#include <QWidget>
#include <chrono>

class Velmora;

// The window shown while the program starts: title picture, version and user name. Its
// constructor runs the whole show, installs the help file and hands over to the controller.
class VelmoraStartWindow final : public QWidget {
public:
    VelmoraStartWindow(Velmora* parent, std::chrono::milliseconds showTime);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void waitWhilePainting(std::chrono::milliseconds duration);

    Velmora* const Parent;
    QString VersionString;
    const QPixmap TitleImage;
    const QString UserName;
};
