#include "sunburstkit/sunburst_view.h"

#include "corekit/qt_color.h"
#include "corekit/ring_palette.h"
#include "corekit/vellicor_theme.h"
#include "sunburstkit/sunburst_label_rule.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <utility>

namespace hollowmere {

namespace {

// Label sizes in points (device-independent pixels, like the ring geometry they must fit).
constexpr int labelPixelSize[SunburstLabelRule::labelledRings] = {11, 10};
// The side of the centre widget's square, in hole radii.
constexpr double centerSide = 1.6;
// How far strokes reach outside an arc's outline, in whole points: the mitred corners of the
// 3-point highlight outline (about 2.1) and a pixel of antialiasing.
constexpr int strokeReach = 4;

bool isFile(const SunburstSegment& segment) {
    return segment.item().has_value() && !segment.isContainer;
}

// File names may hold line breaks and other control characters; a label is one line.
QString singleLine(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

void toPolygon(const SunburstGeometry::Outline& outline, QPolygonF& polygon) {
    const int count = outline.pointCount();
    polygon.resize(count);
    for (int i = 0; i < count; ++i) {
        const SunburstGeometry::Point p = outline.pointAt(i);
        polygon[i] = QPointF(p.x, p.y);
    }
}

} // namespace

SunburstView::SunburstView(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SunburstView::setSunburstLayout(SunburstLayout layout, const LabelFunction& label) {
    layout_ = std::move(layout);
    for (size_t r = 0; r < labels_.size(); ++r) {
        std::vector<QString>& names = labels_[r];
        names.clear();
        if (r >= layout_.rings().size()) continue;
        const auto& ring = layout_.rings()[r];
        names.reserve(ring.size());
        for (const SunburstSegment& segment : ring) {
            const auto node = segment.item();
            names.push_back(node && label ? singleLine(label(*node)) : QString());
        }
    }
    update();
}

void SunburstView::setHighlight(const std::optional<SunburstSegment::Content>& content) {
    if (content == highlight_) return;
    // Hovering moves the highlight often: repaint only the arcs it leaves and enters.
    updateArc(highlight_);
    highlight_ = content;
    updateArc(highlight_);
}

void SunburstView::updateArc(const std::optional<SunburstSegment::Content>& content) {
    if (!content) return;
    const SunburstGeometry geometry = mapGeometry();
    const auto& rings = layout_.rings();
    for (size_t r = 0; r < rings.size(); ++r) {
        for (const SunburstSegment& segment : rings[r]) {
            if (segment.content != *content) continue;
            const SunburstGeometry::Radii ring = geometry.ring(static_cast<int>(r) + 1);
            QPolygonF polygon;
            toPolygon(geometry.outline(segment, ring.inner, ring.outer), polygon);
            update(polygon.boundingRect().toAlignedRect().adjusted(-strokeReach, -strokeReach,
                                                                   strokeReach, strokeReach));
            return;
        }
    }
}

void SunburstView::setCenterWidget(QWidget* widget) {
    if (widget == center_) return;
    delete center_.data();
    center_ = widget;
    if (!widget) return;
    widget->setParent(this);
    // Also covers the widget's children: the pointer goes to the map as if they were absent.
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    placeCenterWidget();
    widget->show();
}

void SunburstView::setIncreasedContrast(bool on) {
    if (on == increasedContrast_) return;
    increasedContrast_ = on;
    update();
}

bool SunburstView::isDark() const {
    const QPalette& p = palette();
    return p.color(QPalette::WindowText).lightness() > p.color(QPalette::Window).lightness();
}

SunburstGeometry SunburstView::mapGeometry() const {
    return SunburstGeometry({static_cast<double>(width()), static_cast<double>(height())},
                            layout_.maxDepth(), margin);
}

std::optional<SunburstHit> SunburstView::hitAt(QPointF point) const {
    return layout_.hit({point.x(), point.y()}, mapGeometry());
}

QSize SunburstView::sizeHint() const {
    return {600, 600};
}

void SunburstView::paintEvent(QPaintEvent* event) {
    const SunburstGeometry geometry = mapGeometry();
    if (geometry.radius() <= 0) return;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = isDark();

    // Each arc is filled and then outlined in the canvas colour, so neighbours are parted by
    // thin lines of the window background.
    QPen separator(toQColor(VellicorTheme::canvas, dark),
                   RingPalette::gapWidth(increasedContrast_));
    separator.setJoinStyle(Qt::MiterJoin);
    painter.setPen(separator);

    // Arcs wholly outside the area being repainted are skipped; the rest is clipped to it.
    const QRectF dirty =
        QRectF(event->rect()).adjusted(-strokeReach, -strokeReach, strokeReach, strokeReach);
    QPolygonF polygon;
    QPolygonF highlighted;
    const auto& rings = layout_.rings();
    for (size_t r = 0; r < rings.size(); ++r) {
        const SunburstGeometry::Radii ring = geometry.ring(static_cast<int>(r) + 1);
        for (const SunburstSegment& segment : rings[r]) {
            toPolygon(geometry.outline(segment, ring.inner, ring.outer), polygon);
            if (!polygon.boundingRect().intersects(dirty)) continue;
            painter.setBrush(toQColor(RingPalette::fill(
                segment.slot, segment.depth, isFile(segment), dark, increasedContrast_)));
            painter.drawPolygon(polygon);
            if (highlight_ == segment.content) highlighted = polygon;
        }
    }

    // On top of the neighbours' separators.
    if (!highlighted.isEmpty()) {
        QColor overlay(Qt::white);
        overlay.setAlphaF(static_cast<float>(RingPalette::highlightOpacity(dark)));
        QPen outline(palette().color(QPalette::WindowText), increasedContrast_ ? 3 : 2);
        outline.setJoinStyle(Qt::MiterJoin);
        painter.setPen(outline);
        painter.setBrush(overlay);
        painter.drawPolygon(highlighted);
    }

    paintLabels(painter, geometry, dark);
}

void SunburstView::paintLabels(QPainter& painter, const SunburstGeometry& geometry,
                               bool dark) const {
    const auto& rings = layout_.rings();
    const size_t ringCount = std::min(rings.size(), labels_.size());
    for (size_t r = 0; r < ringCount; ++r) {
        const SunburstGeometry::Radii ring = geometry.ring(static_cast<int>(r) + 1);
        if (ring.outer - ring.inner < SunburstLabelRule::minRingWidth) continue;
        const double radius = (ring.inner + ring.outer) / 2;

        QFont font = this->font();
        font.setBold(true);
        font.setPixelSize(labelPixelSize[r]);
        painter.setFont(font);
        const QFontMetricsF metrics(font, painter.device());

        const std::vector<SunburstSegment>& segments = rings[r];
        for (size_t i = 0; i < segments.size(); ++i) {
            const SunburstSegment& segment = segments[i];
            const QString& text = labels_[r][i];
            if (text.isEmpty()) continue; // small items, or no name
            // Only arcs with room for a short word are worth measuring.
            if (SunburstLabelRule::room(radius, segment.end - segment.start) <
                SunburstLabelRule::minRoom)
                continue;
            const auto box = SunburstLabelRule::place(
                geometry, ring, segment, metrics.horizontalAdvance(text), metrics.height());
            if (!box) continue;
            const bool highlighted =
                highlight_ == SunburstSegment::Content{SunburstSegment::Item{*segment.item()}};
            painter.setPen(
                toQColor(RingPalette::label(segment.slot, segment.depth, !segment.isContainer, dark,
                                            highlighted, increasedContrast_)));
            painter.drawText(QPointF(box->x, box->y + metrics.ascent()), text);
        }
    }
}

void SunburstView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeCenterWidget();
}

void SunburstView::placeCenterWidget() {
    if (!center_) return;
    const SunburstGeometry geometry = mapGeometry();
    const double side = centerSide * geometry.holeRadius();
    const SunburstGeometry::Point c = geometry.center();
    center_->setGeometry(QRectF(c.x - side / 2, c.y - side / 2, side, side).toRect());
}

void SunburstView::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT hovered(hitAt(event->position()));
}

void SunburstView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    Q_EMIT hovered(std::nullopt);
}

void SunburstView::mousePressEvent(QMouseEvent* event) {
    // Accepting the press is what brings its release here.
    if (event->button() == Qt::LeftButton)
        pressedAt_ = event->position();
    else
        QWidget::mousePressEvent(event);
}

void SunburstView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressedAt_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPointF moved = event->position() - *pressedAt_;
    pressedAt_.reset();
    // A press that travelled is a drag (the caller may start one), not a click.
    if (moved.manhattanLength() >= QApplication::startDragDistance()) return;
    if (const auto hit = hitAt(event->position())) Q_EMIT clicked(*hit);
}

} // namespace hollowmere
