// The eFuse map: the 256 fuse bits as a grid, one row per 32-bit word, each
// cell coloured by what it belongs to (header, record type, paler for records
// the readers no longer return, white when free) with a dot where the fuse is
// blown; hovering a record outlines it and names its item and value. Below
// the grid: the legend and the free-bit count.
#pragma once

#include "deve/efuse_map.h"
#include "deve/fuse_picture.h"

#include <QWidget>

#include <optional>

class QGridLayout;
class QLabel;

class FuseGrid : public QWidget {
    Q_OBJECT

public:
    explicit FuseGrid(QWidget *parent = nullptr);

    void setMap(const std::optional<deve::FuseMap> &map);
    const std::optional<deve::FuseMap> &map() const { return map_; }

    // The bit under a point of the widget, or -1.
    int bitAt(const QPoint &point) const;
    // The cell of a bit, in widget coordinates.
    QRect cellRect(unsigned bit) const;
    // The record outlined (by hovering), or -1.
    int highlighted() const { return highlighted_; }
    void setHighlighted(int record);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    std::optional<deve::FuseMap> map_;
    deve::FuseCells cells_{};
    int highlighted_ = -1;
};

class FuseMapView : public QWidget {
    Q_OBJECT

public:
    explicit FuseMapView(QWidget *parent = nullptr);

    // The map, or none, with the line below it (the free bits, or why there
    // is no map).
    void show(const std::optional<deve::FuseMap> &map, const QString &note);

    FuseGrid *grid() const { return grid_; }
    QLabel *status() const { return status_; }
    // The legend's texts, in order.
    QStringList legendTexts() const;

private:
    void setLegend(const std::vector<deve::FuseLegendEntry> &entries);

    FuseGrid *grid_;
    QWidget *legend_;
    QGridLayout *legendLayout_;
    QLabel *status_;
};
