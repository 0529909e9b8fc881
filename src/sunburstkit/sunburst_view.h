#pragma once

#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_hit.h"
#include "sunburstkit/sunburst_layout.h"
#include "sunburstkit/sunburst_segment.h"

#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace hollowmere {

// The on-screen map. Draws a SunburstLayout in one painting pass, writes names on the two inner
// rings where they fit, emphasises one arc, shows the caller's widget in the hole, and reports
// the pointer as SunburstHits. It knows nothing of files: every reaction to hovering and
// clicking belongs to the caller. Light or dark follows the palette; the app sets the
// increased contrast.
class SunburstView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool increasedContrast READ increasedContrast WRITE setIncreasedContrast)

public:
    // The name to write on a node's arc.
    using LabelFunction = std::function<QString(int32_t node)>;

    // Space kept free around the outermost ring, in points.
    static constexpr double margin = 6;

    explicit SunburstView(QWidget* parent = nullptr);

    const SunburstLayout& sunburstLayout() const { return layout_; }
    // Shows `layout`. `label` is asked here, once per item arc of the two inner rings, and not
    // kept, so it may read a tree that the caller edits afterwards (and then lays out again).
    void setSunburstLayout(SunburstLayout layout, const LabelFunction& label);

    const std::optional<SunburstSegment::Content>& highlight() const { return highlight_; }
    void setHighlight(const std::optional<SunburstSegment::Content>& content);

    // The widget shown in the hole, sized to a square of 1.6 hole radii. The view owns it and
    // makes it transparent for the pointer, so that clicks on it reach the map. Setting another
    // one deletes the previous one.
    QWidget* centerWidget() const { return center_; }
    void setCenterWidget(QWidget* widget);

    bool increasedContrast() const { return increasedContrast_; }
    void setIncreasedContrast(bool on);

    // Whether the palette is a dark one: window text lighter than the window.
    bool isDark() const;

    // The geometry of the current size, shared by drawing, the centre widget and hit tests.
    SunburstGeometry mapGeometry() const;
    // The arc or the centre under a view-local point; none over a gap or outside the rings.
    std::optional<SunburstHit> hitAt(QPointF point) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // What lies under the pointer while it moves over the view; none when it leaves.
    void hovered(const std::optional<hollowmere::SunburstHit>& hit);
    // A click on an arc or on the centre. A click that hits nothing is not reported, nor is a
    // press that moves the drag distance before its release (the caller may start a drag).
    void clicked(const hollowmere::SunburstHit& hit);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void placeCenterWidget();
    // Schedules a repaint of the area of the arc showing `content`.
    void updateArc(const std::optional<SunburstSegment::Content>& content);
    void paintLabels(QPainter& painter, const SunburstGeometry& geometry, bool dark) const;

    SunburstLayout layout_ = SunburstLayout::empty();
    // The names of the arcs of rings 1 and 2, by position in the ring; empty for none.
    std::array<std::vector<QString>, 2> labels_;
    std::optional<SunburstSegment::Content> highlight_;
    QPointer<QWidget> center_;
    bool increasedContrast_ = false;
    // Where the left button went down, while it is down.
    std::optional<QPointF> pressedAt_;
};

} // namespace hollowmere
