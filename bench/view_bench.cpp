// Painting the map: a layout of about 1,500 arcs drawn by SunburstView into an image of the
// report's map size, whole (after a resize or a new layout) and only around one arc (what a
// hover change repaints). Needs a QApplication, offscreen unless QT_QPA_PLATFORM says otherwise.

#include "corekit/ring_palette.h"
#include "sunburstkit/sunburst_layout.h"
#include "sunburstkit/sunburst_source.h"
#include "sunburstkit/sunburst_view.h"
#include "synthetic_tree.h"

#include <QApplication>
#include <QImage>
#include <QPolygonF>
#include <QRegion>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <deque>
#include <vector>

namespace hollowmere {
namespace {

// A deterministic tree shaped for a busy map: 250 folders of similar size around the root, each
// the top of a branch that splits into one to three children per level, the first far larger
// than the rest, down to ring 6: about 250 visible arcs on every ring (a ring holds at most about
// 500). Sizes are split top down, so every folder is the sum of its children.
class BushySource final : public SunburstSource {
public:
    explicit BushySource(uint64_t seed) {
        uint64_t state = seed;
        nodes_.push_back({uint64_t{1} << 40, 0, {}});
        std::deque<int32_t> queue{0};
        while (!queue.empty()) {
            const int32_t parent = queue.front();
            queue.pop_front();
            const int depth = nodes_[static_cast<size_t>(parent)].depth;
            if (depth == SunburstLayout::standardMaxDepth) continue;
            const int count = depth == 0 ? 250 : 1 + static_cast<int>(splitmix(state) % 3);
            std::vector<uint64_t> weights;
            uint64_t total = 0;
            for (int i = 0; i < count; ++i) {
                const uint64_t w =
                    depth == 0 ? 10 + splitmix(state) % 3 : (i == 0 ? 40 : 1 + splitmix(state) % 2);
                weights.push_back(w);
                total += w;
            }
            std::sort(weights.rbegin(), weights.rend());
            const uint64_t size = nodes_[static_cast<size_t>(parent)].size;
            for (const uint64_t w : weights) {
                const auto child = static_cast<int32_t>(nodes_.size());
                nodes_.push_back({size / total * w, depth + 1, {}});
                nodes_[static_cast<size_t>(parent)].children.push_back(child);
                queue.push_back(child);
            }
        }
    }

    uint64_t size(int32_t node) const override { return at(node).size; }
    int32_t childCount(int32_t node) const override {
        return static_cast<int32_t>(at(node).children.size());
    }
    int32_t child(int32_t position, int32_t node) const override {
        return at(node).children[static_cast<size_t>(position)];
    }
    bool isContainer(int32_t node) const override { return !at(node).children.empty(); }

private:
    struct Node {
        uint64_t size;
        int depth;
        std::vector<int32_t> children;
    };
    const Node& at(int32_t node) const { return nodes_[static_cast<size_t>(node)]; }

    std::vector<Node> nodes_;
};

void paintMap(benchmark::State& state, bool highlighted) {
    const qreal pixelRatio = static_cast<qreal>(state.range(0));
    const BushySource source(3);
    const SunburstLayout layout(0, source, SunburstLayout::standardMaxDepth,
                                SunburstLayout::standardMinAngle, RingPalette::slotCount);
    size_t segments = 0;
    for (const auto& ring : layout.rings())
        segments += ring.size();

    SunburstView view;
    view.resize(1180, 760);
    view.setSunburstLayout(layout,
                           [](int32_t node) { return QStringLiteral("Folder %1").arg(node); });
    if (highlighted) view.setHighlight(layout.rings()[0].front().content);
    QImage image(view.size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);

    for (auto _ : state) {
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["segments"] = static_cast<double>(segments);
}

// What a hover change repaints: the area of one highlighted ring-1 arc.
void BM_sunburstView_repaintOneArc(benchmark::State& state) {
    const BushySource source(3);
    const SunburstLayout layout(0, source, SunburstLayout::standardMaxDepth,
                                SunburstLayout::standardMinAngle, RingPalette::slotCount);
    SunburstView view;
    view.resize(1180, 760);
    view.setSunburstLayout(layout,
                           [](int32_t node) { return QStringLiteral("Folder %1").arg(node); });
    const SunburstSegment& arc = layout.rings()[0][10];
    view.setHighlight(arc.content);
    const SunburstGeometry geometry = view.mapGeometry();
    const auto ring = geometry.ring(1);
    const auto outline = geometry.outline(arc, ring.inner, ring.outer);
    QPolygonF polygon;
    for (int i = 0; i < outline.pointCount(); ++i)
        polygon << QPointF(outline.pointAt(i).x, outline.pointAt(i).y);
    // The arc's bounds and the reach of its outline, as the view asks to be repainted.
    const QRegion area(polygon.boundingRect().toAlignedRect().adjusted(-4, -4, 4, 4));
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);

    for (auto _ : state) {
        view.render(&image, area.boundingRect().topLeft(), area, QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = area.boundingRect().width() * area.boundingRect().height();
}
BENCHMARK(BM_sunburstView_repaintOneArc)->Unit(benchmark::kMillisecond);

void BM_sunburstView_paint(benchmark::State& state) {
    paintMap(state, false);
}
BENCHMARK(BM_sunburstView_paint)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("pixelRatio")
    ->Unit(benchmark::kMillisecond);

void BM_sunburstView_paintHighlighted(benchmark::State& state) {
    paintMap(state, true);
}
BENCHMARK(BM_sunburstView_paintHighlighted)
    ->Arg(1)
    ->ArgName("pixelRatio")
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace hollowmere

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
