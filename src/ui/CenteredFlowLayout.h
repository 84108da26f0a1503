#pragma once

#include <QLayout>
#include <QList>

// Lays out the page tiles in centred rows (see TileFlow). Like any layout it puts every tile
// back at its unscrolled place whenever the panel is laid out again.
class CenteredFlowLayout final : public QLayout {
public:
    explicit CenteredFlowLayout(QWidget* parent);
    ~CenteredFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    QList<QLayoutItem*> items;
};
