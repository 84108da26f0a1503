#pragma once

#include "model/Page.h"

#include <QWidget>

#include <memory>

// The 100 x 100 tile that shows one page on the main window's page panel.
class PageTile final : public QWidget {
public:
    PageTile(std::shared_ptr<Page> page, QWidget* parent = nullptr);

    const std::shared_ptr<Page>& page() const { return shownPage; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const std::shared_ptr<Page> shownPage;
};
