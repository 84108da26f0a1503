#pragma once

#include <QFont>
#include <QWidget>

// The tip shown while the pointer rests on a tile: the page's title, URL and recorded date.
class PageToolTip final : public QWidget {
public:
    explicit PageToolTip(QWidget* parent);

    void setPageTitle(const QString& title);
    void setPageURL(const QString& url);
    void setLastModifiedDateLong(qint64 time);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString PageTitle;
    QString PageURL;
    qint64 LastModifiedDateLong = 0;
    const QFont DefaultFont;
};
