#pragma once

#include "model/Page.h"

#include <QFont>
#include <QWidget>
#include <memory>

// The 100 x 100 tile that shows one page: an etched frame, the title over up to three lines
// and the icon of the page's state over it.
class PageTile final : public QWidget {
public:
    explicit PageTile(std::shared_ptr<Page> page, QWidget* parent = nullptr);

    const std::shared_ptr<Page>& page() const { return shownPage; }

    // The icon's square, bounds included, is where the hand cursor shows and a click opens.
    static bool isInIconArea(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const std::shared_ptr<Page> shownPage;
    const QFont DefaultFont;
};
