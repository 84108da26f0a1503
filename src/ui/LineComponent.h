#pragma once

#include <QWidget>

// The etched separator line along the top of the main window: gray over white.
class LineComponent final : public QWidget {
public:
    explicit LineComponent(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
