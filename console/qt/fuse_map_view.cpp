#include "fuse_map_view.h"

#include "pictures_ids.h"

#include <QEvent>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

constexpr int kLegendColumns = 2;
constexpr int kSwatch = 12;
constexpr int kMargin = 6;

constexpr QRgb kHighlight = 0x000000;

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

}  // namespace

FuseGrid::FuseGrid(QWidget *parent) : QWidget(parent) {
    setMouseTracking(true);
    tagPicture(this, IDC_FUSE_GRID);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize FuseGrid::sizeHint() const {
    const deve::FuseGridRect bounds = deve::fuse_grid_bounds();
    return {bounds.width, bounds.height};
}

QRect FuseGrid::cellRect(unsigned bit) const {
    const deve::FuseGridRect cell = deve::fuse_grid_cell(bit);
    return {cell.x, cell.y, cell.width, cell.height};
}

int FuseGrid::bitAt(const QPoint &point) const { return deve::fuse_grid_bit_at(point.x(), point.y()); }

void FuseGrid::setMap(const std::optional<deve::FuseMap> &map) {
    map_ = map;
    cells_ = map_ ? deve::fuse_cells(*map_) : deve::FuseCells{};
    highlighted_ = -1;
    update();
}

void FuseGrid::setHighlighted(int record) {
    if (record != highlighted_) {
        highlighted_ = record;
        update();
    }
}

bool FuseGrid::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int bit = bitAt(help->pos());
        if (map_ && bit >= 0) {
            const auto k = static_cast<unsigned>(bit);
            QToolTip::showText(help->globalPos(), QString::fromStdString(deve::fuse_cell_tip(*map_, k)), this,
                               cellRect(k));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void FuseGrid::mouseMoveEvent(QMouseEvent *event) {
    const int bit = bitAt(event->position().toPoint());
    setHighlighted(bit >= 0 && map_ ? cells_[static_cast<unsigned>(bit)].record : -1);
    QWidget::mouseMoveEvent(event);
}

void FuseGrid::leaveEvent(QEvent *event) {
    setHighlighted(-1);
    QWidget::leaveEvent(event);
}

void FuseGrid::paintEvent(QPaintEvent *) {
    const deve::FuseGridMetrics metrics;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    for (int column = 0; column < deve::kFuseGridBitsPerRow; column += 8) {
        const QRect cell = cellRect(static_cast<unsigned>(column));
        painter.drawText(QRect(cell.left(), 0, 4 * metrics.cell, metrics.top - 2),
                         Qt::AlignLeft | Qt::AlignBottom, QString::number(column));
    }
    for (int row = 0; row < deve::kFuseGridRows; ++row) {
        const QRect cell = cellRect(static_cast<unsigned>(row * deve::kFuseGridBitsPerRow));
        painter.drawText(QRect(0, cell.top(), metrics.left - 4, metrics.cell),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(row * deve::kFuseGridBitsPerRow));
    }

    for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
        const QRect rect = cellRect(bit);
        if (!map_) {
            painter.setPen(colour(deve::kFuseEmptyOutlineRgb));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
            continue;
        }
        const deve::FuseCell &cell = cells_[bit];
        const std::uint32_t fill = deve::fuse_cell_rgb(*map_, cell);
        painter.setPen(colour(deve::fuse_cell_outline_rgb(*map_, cell)));
        painter.setBrush(colour(fill));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        if (cell.programmed) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour(deve::fuse_dot_rgb(fill)));
            painter.drawEllipse(rect.center() + QPointF(0.5, 0.5), metrics.dot / 2.0,
                                metrics.dot / 2.0);
        }
    }

    if (map_ && highlighted_ >= 0) {
        painter.setPen(QPen(QColor::fromRgb(kHighlight), 2));
        painter.setBrush(Qt::NoBrush);
        for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
            if (cells_[bit].record == highlighted_) {
                painter.drawRect(cellRect(bit).adjusted(0, 0, -1, -1));
            }
        }
    }
}

FuseMapView::FuseMapView(QWidget *parent)
    : QWidget(parent), grid_(new FuseGrid), legend_(new QWidget), legendLayout_(new QGridLayout(legend_)),
      status_(new QLabel) {
    legendLayout_->setContentsMargins(0, 0, 0, 0);
    legendLayout_->setHorizontalSpacing(10);
    tagPicture(status_, IDC_FUSE_STATUS);
    status_->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(grid_, 0, Qt::AlignHCenter);
    layout->addWidget(status_);
    layout->addWidget(legend_);
    layout->addStretch(1);
}

void FuseMapView::show(const std::optional<deve::FuseMap> &map, const QString &note) {
    grid_->setMap(map);
    status_->setText(note);
    setLegend(map ? deve::fuse_legend(*map) : std::vector<deve::FuseLegendEntry>{});
}

void FuseMapView::setLegend(const std::vector<deve::FuseLegendEntry> &entries) {
    while (QLayoutItem *item = legendLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    int index = 0;
    for (const deve::FuseLegendEntry &entry : entries) {
        auto *swatch = new QLabel;
        swatch->setFixedSize(kSwatch, kSwatch);
        swatch->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #808080;")
                                  .arg(colour(entry.rgb).name()));
        auto *text = new QLabel(QString::fromStdString(entry.label));
        text->setObjectName(QStringLiteral("legend"));
        const int row = index / kLegendColumns;
        const int column = 2 * (index % kLegendColumns);
        legendLayout_->addWidget(swatch, row, column);
        legendLayout_->addWidget(text, row, column + 1);
        ++index;
    }
}

QStringList FuseMapView::legendTexts() const {
    QStringList out;
    for (int i = 0; i < legendLayout_->count(); ++i) {
        auto *label = qobject_cast<QLabel *>(legendLayout_->itemAt(i)->widget());
        if (label != nullptr && label->objectName() == QLatin1String("legend")) {
            out << label->text();
        }
    }
    return out;
}
