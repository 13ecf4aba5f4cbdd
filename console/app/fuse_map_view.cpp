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

// Grid geometry, in pixels: one row per 32-bit word, a wider gap between
// bytes, the rows' first bit numbers on the left and the bit offsets on top.
constexpr int kBitsPerRow = 32;
constexpr int kRows = static_cast<int>(deve::kFuseMapBits) / kBitsPerRow;
constexpr int kCell = 11;
constexpr int kGap = 1;
constexpr int kByteGap = 4;
constexpr int kLeft = 26;
constexpr int kTop = 16;
constexpr int kDot = 4;
constexpr int kLegendColumns = 2;
constexpr int kSwatch = 12;
constexpr int kMargin = 6;

constexpr QRgb kEmptyOutline = 0xB0B0B0;
constexpr QRgb kHighlight = 0x000000;

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

// A dot that stands out on the cell's colour.
QColor dotOn(const QColor &fill) { return fill.lightness() > 140 ? QColor(Qt::black) : QColor(Qt::white); }

}  // namespace

FuseGrid::FuseGrid(QWidget *parent) : QWidget(parent) {
    setMouseTracking(true);
    tagPicture(this, IDC_FUSE_GRID, QStringLiteral("eFuse map: 256 fuse bits coloured by record"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize FuseGrid::sizeHint() const {
    const QRect last = cellRect(deve::kFuseMapBits - 1);
    return {last.right() + 2, last.bottom() + 2};
}

QRect FuseGrid::cellRect(unsigned bit) const {
    const int row = static_cast<int>(bit) / kBitsPerRow;
    const int column = static_cast<int>(bit) % kBitsPerRow;
    const int x = kLeft + column * (kCell + kGap) + (column / 8) * kByteGap;
    const int y = kTop + row * (kCell + kGap);
    return {x, y, kCell, kCell};
}

int FuseGrid::bitAt(const QPoint &point) const {
    for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
        if (cellRect(bit).contains(point)) {
            return static_cast<int>(bit);
        }
    }
    return -1;
}

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
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    for (int column = 0; column < kBitsPerRow; column += 8) {
        const QRect cell = cellRect(static_cast<unsigned>(column));
        painter.drawText(QRect(cell.left(), 0, 4 * kCell, kTop - 2), Qt::AlignLeft | Qt::AlignBottom,
                         QString::number(column));
    }
    for (int row = 0; row < kRows; ++row) {
        const QRect cell = cellRect(static_cast<unsigned>(row * kBitsPerRow));
        painter.drawText(QRect(0, cell.top(), kLeft - 4, kCell), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(row * kBitsPerRow));
    }

    for (unsigned bit = 0; bit < deve::kFuseMapBits; ++bit) {
        const QRect rect = cellRect(bit);
        if (!map_) {
            painter.setPen(QColor::fromRgb(kEmptyOutline));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
            continue;
        }
        const deve::FuseCell &cell = cells_[bit];
        const QColor fill = colour(deve::fuse_cell_rgb(*map_, cell));
        painter.setPen(cell.kind == deve::FuseCellKind::Free ? QColor::fromRgb(kEmptyOutline) : fill.darker(130));
        painter.setBrush(fill);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        if (cell.programmed) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(dotOn(fill));
            painter.drawEllipse(rect.center() + QPointF(0.5, 0.5), kDot / 2.0, kDot / 2.0);
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
    status_->setText(QStringLiteral("The map appears after \"Efuse read\", \"MAC Read\" or an eFuse write."));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(grid_, 0, Qt::AlignHCenter);
    layout->addWidget(status_);
    layout->addWidget(legend_);
    layout->addStretch(1);
}

void FuseMapView::showMap(const deve::FuseMap &map) {
    grid_->setMap(map);
    QString text = QString::fromStdString(deve::fuse_free_text(map));
    if (map.stray_bits > 0) {
        text += QStringLiteral("; %1 blown fuses after the last record").arg(map.stray_bits);
    }
    status_->setText(text + QStringLiteral(". Hover a record for its item and value."));
    setLegend(deve::fuse_legend(map));
}

void FuseMapView::showProblem(const QString &text) {
    grid_->setMap(std::nullopt);
    status_->setText(text);
    setLegend({});
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
