#include "corekit/qt_color.h"
#include "corekit/ring_palette.h"
#include "corekit/vellicor_theme.h"
#include "list_source.h"
#include "sunburstkit/sunburst_view.h"

#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace hollowmere;
using hollowmere::test::ListSource;

namespace {

constexpr double pi = std::numbers::pi;
using Item = SunburstSegment::Item;

SunburstLayout layoutOf(const ListSource& source) {
    return SunburstLayout(0, source, SunburstLayout::standardMaxDepth,
                          SunburstLayout::standardMinAngle, RingPalette::slotCount);
}

// Three files under the root: node 1 over [0, π), node 2 over [π, 1.5π), node 3 to 2π.
ListSource threeFiles() {
    ListSource source(100);
    source.add(0, {50, 25, 25});
    return source;
}

void setDark(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, toQColor(VellicorTheme::canvas, true));
    palette.setColor(QPalette::WindowText, Qt::white);
    widget.setPalette(palette);
}

// The view painted onto a transparent image, as it would be into a window.
QImage render(SunburstView& view, qreal pixelRatio = 1) {
    QImage image(view.size() * pixelRatio, QImage::Format_ARGB32);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background
    return image;
}

QPoint pixelAt(const SunburstView& view, double radius, double angle, qreal pixelRatio = 1) {
    const auto p = view.mapGeometry().point(radius, angle);
    return {static_cast<int>(std::floor(p.x * pixelRatio)),
            static_cast<int>(std::floor(p.y * pixelRatio))};
}

double midRadius(const SunburstView& view, int depth) {
    const auto ring = view.mapGeometry().ring(depth);
    return (ring.inner + ring.outer) / 2;
}

QColor fillOf(std::optional<int> slot, int depth, bool isFile, bool dark, bool contrast = false) {
    return toQColor(RingPalette::fill(slot, depth, isFile, dark, contrast));
}

// The colour of white at `opacity` laid over `base`, channel by channel.
QColor lightened(QColor base, double opacity) {
    const auto mix = [&](int c) { return static_cast<int>(std::lround(opacity * (255 - c) + c)); };
    return QColor(mix(base.red()), mix(base.green()), mix(base.blue()));
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && a.alpha() == b.alpha();
}

// Pixels that differ between two renders of the same size.
int differences(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

} // namespace

// An odd-sized view puts the centre on a pixel's middle, so the 1-point separator along twelve
// o'clock covers pixel column 150 exactly and leaves column 151 to the fill.
TEST(SunburstView, FillsArcsAndSeparatesThemWithTheCanvasColour) {
    const ListSource source = threeFiles();
    for (const bool dark : {false, true}) {
        for (const bool contrast : {false, true}) {
            SCOPED_TRACE(std::string(dark ? "dark" : "light") + (contrast ? ", contrast" : ""));
            SunburstView view;
            view.resize(301, 301);
            if (dark) setDark(view);
            ASSERT_EQ(view.isDark(), dark);
            view.setIncreasedContrast(contrast);
            view.setSunburstLayout(layoutOf(source), {});
            const QImage image = render(view);
            const double r1 = midRadius(view, 1);

            EXPECT_EQ(image.pixelColor(pixelAt(view, r1, pi / 2)),
                      fillOf(0, 1, true, dark, contrast));
            EXPECT_EQ(image.pixelColor(pixelAt(view, r1, 1.25 * pi)),
                      fillOf(1, 1, true, dark, contrast));
            EXPECT_EQ(image.pixelColor(pixelAt(view, r1, 1.75 * pi)),
                      fillOf(2, 1, true, dark, contrast));

            const QColor canvas = toQColor(VellicorTheme::canvas, dark);
            const int top = pixelAt(view, r1, 0).y();
            EXPECT_EQ(image.pixelColor(150, top), canvas);                             // 0 and 2π
            EXPECT_EQ(image.pixelColor(150, pixelAt(view, r1, pi).y()), canvas);       // π
            EXPECT_EQ(image.pixelColor(pixelAt(view, r1, 1.5 * pi).x(), 150), canvas); // 1.5π
            // Two points wide with increased contrast: half of the next column too.
            const QColor next = image.pixelColor(151, top);
            if (contrast)
                EXPECT_TRUE(next != canvas && next != fillOf(0, 1, true, dark, true))
                    << next.name().toStdString();
            else
                EXPECT_EQ(next, fillOf(0, 1, true, dark));

            // Nothing is painted beyond the rings or in the hole.
            EXPECT_EQ(image.pixelColor(2, 2).alpha(), 0);
            EXPECT_EQ(image.pixelColor(150, 150).alpha(), 0);
        }
    }
}

TEST(SunburstView, SharpAtTwicePixelDensity) {
    const ListSource source = threeFiles();
    SunburstView view;
    view.resize(301, 301);
    view.setSunburstLayout(layoutOf(source), {});
    const QImage image = render(view, 2);
    ASSERT_EQ(image.width(), 602);
    const double r1 = midRadius(view, 1);
    const int top = pixelAt(view, r1, 0, 2).y();
    // The 1-point separator along twelve o'clock is two whole device pixels, 300 and 301.
    const QColor canvas = toQColor(VellicorTheme::canvas, false);
    EXPECT_EQ(image.pixelColor(299, top), fillOf(2, 1, true, false));
    EXPECT_EQ(image.pixelColor(300, top), canvas);
    EXPECT_EQ(image.pixelColor(301, top), canvas);
    EXPECT_EQ(image.pixelColor(302, top), fillOf(0, 1, true, false));
    EXPECT_EQ(image.pixelColor(pixelAt(view, r1, pi / 2, 2)), fillOf(0, 1, true, false));
}

// Node 1 (a folder, with children 4 and 5 on ring 2) over [0, π), file 2 to 1.5π, and folder
// 3 to 2π, whose 250 tiny files merge into one small-items arc on ring 2.
struct HighlightFixture {
    ListSource source{1000};
    std::vector<int32_t> top = source.add(0, {500, 250, 250});
    HighlightFixture() {
        source.add(top[0], {300, 200});
        for (int i = 0; i < 250; ++i)
            source.add(top[2], 1);
    }
};

TEST(SunburstView, HighlightLightensOneArcAndOutlinesIt) {
    const HighlightFixture f;
    const SunburstLayout layout = layoutOf(f.source);
    const SunburstSegment::SmallItems small{f.top[2], 250, 250};
    ASSERT_EQ(layout.rings()[1].back().content, SunburstSegment::Content{small});

    struct Case {
        std::string what;
        SunburstSegment::Content content;
        int depth;      // of the highlighted arc
        double angle;   // inside it
        QColor fill;    // its colour without highlight
        double outline; // an angle on its edge
    };
    for (const bool dark : {false, true}) {
        const Case cases[] = {
            {"folder", Item{f.top[0]}, 1, pi / 2, fillOf(0, 1, false, dark), 0},
            {"small items", small, 2, 1.75 * pi, fillOf(std::nullopt, 2, false, dark), 2 * pi},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what + (dark ? ", dark" : ", light"));
            SunburstView view;
            view.resize(301, 301);
            if (dark) setDark(view);
            view.setSunburstLayout(layout, {});
            view.setHighlight(c.content);
            const QImage image = render(view);
            const double r = midRadius(view, c.depth);

            const QColor lit = image.pixelColor(pixelAt(view, r, c.angle));
            EXPECT_TRUE(near(lit, lightened(c.fill, RingPalette::highlightOpacity(dark)), 1))
                << lit.name().toStdString() << " from " << c.fill.name().toStdString();
            // Its neighbours keep their colours.
            EXPECT_EQ(image.pixelColor(pixelAt(view, midRadius(view, 1), 1.25 * pi)),
                      fillOf(1, 1, true, dark));
            // Two points of text colour over the separator: the whole pixel column 150.
            const QPoint edge = pixelAt(view, r, c.outline);
            EXPECT_EQ(image.pixelColor(150, edge.y()), view.palette().color(QPalette::WindowText));
        }
    }
}

// Renders `layout` with and without a name for `node` and tells whether the name was drawn.
bool labelDrawn(const SunburstLayout& layout, int side, int32_t node, const QString& name) {
    SunburstView view;
    view.resize(side, side);
    view.setSunburstLayout(layout, {});
    const QImage bare = render(view);
    view.setSunburstLayout(layout, [&](int32_t n) { return n == node ? name : QString(); });
    return differences(bare, render(view)) > 0;
}

TEST(SunburstView, LabelsOnlyWhereTheyFit) {
    const ListSource three = threeFiles();
    // A single folder (full circle on ring 1) with a single file inside, and that file's ring
    // 2 child chain down to ring 3.
    ListSource chain(100);
    const int32_t only = chain.add(0, 100);
    const int32_t second = chain.add(only, 100);
    const int32_t third = chain.add(second, 100);
    // Ring-1 arcs of 0.48 and 0.63 radians at about eleven o'clock: 40.7 and 53 points of room
    // on a 600-point view, both wide enough around a one-letter name.
    ListSource narrow(1000);
    const int32_t narrowArc = narrow.add(0, {462, 462, 76})[2];
    ListSource wider(1000);
    const int32_t widerArc = wider.add(0, {450, 450, 100})[2];

    struct Case {
        std::string what;
        const ListSource& source;
        int side;
        int32_t node;
        QString name;
        bool drawn;
    };
    const Case cases[] = {
        {"half of ring 1", three, 600, 1, "Docs", true},
        {"name wider than the room", three, 600, 1, "A rather long name for a file.iso", false},
        {"ring 1 of a 100-point view is under 16 points wide", three, 100, 1, "A", false},
        {"room under 44 points", narrow, 600, narrowArc, "A", false},
        {"room over 44 points", wider, 600, widerArc, "A", true},
        {"full circle on ring 1", chain, 600, only, "Folder", true},
        {"full circle on ring 2", chain, 600, second, "Folder", true},
        {"ring 3 is never labelled", chain, 600, third, "Folder", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(labelDrawn(layoutOf(c.source), c.side, c.node, c.name), c.drawn);
    }
}

TEST(SunburstView, LabelColourFollowsTheHighlightOfItsOwnArc) {
    // Two folders: node 2 over [π, 2π) has slot 1, whose ring-1 blue takes a light label until
    // highlighting makes it light enough for a dark one. Its 250 files merge on ring 2.
    ListSource source(1000);
    const auto top = source.add(0, {500, 500});
    source.add(top[0], 500);
    for (int i = 0; i < 250; ++i)
        source.add(top[1], 2);
    const SunburstLayout layout = layoutOf(source);
    const SunburstSegment::SmallItems small{top[1], 250, 500};
    ASSERT_EQ(layout.rings()[1].back().content, SunburstSegment::Content{small});

    const QColor light = toQColor(RingPalette::label(1, 1, false, false, false, false));
    const QColor dark = toQColor(RingPalette::label(1, 1, false, false, true, false));
    ASSERT_NE(light, dark);
    struct Case {
        std::string what;
        std::optional<SunburstSegment::Content> highlight;
        QColor label;
    };
    const Case cases[] = {
        {"no highlight", std::nullopt, light},
        {"its own arc highlighted", Item{top[1]}, dark},
        {"its small items highlighted", small, light},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SunburstView view;
        view.resize(600, 600);
        view.setSunburstLayout(layout, [&](int32_t n) { return n == top[1] ? "Docs" : ""; });
        view.setHighlight(c.highlight);
        const QImage image = render(view);
        int expected = 0, other = 0;
        const QColor otherColour = c.label == light ? dark : light;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                expected += image.pixelColor(x, y) == c.label;
                other += image.pixelColor(x, y) == otherColour;
            }
        }
        EXPECT_GT(expected, 10);
        EXPECT_EQ(other, 0);
    }
}

TEST(SunburstView, EmptyLayoutDrawsOnlyTheCentreWidget) {
    SunburstView view;
    view.resize(300, 300);
    auto* center = new QWidget;
    center->setAutoFillBackground(true);
    QPalette palette = center->palette();
    palette.setColor(QPalette::Window, Qt::red);
    center->setPalette(palette);
    view.setCenterWidget(center);

    // 1.6 hole radii square (62.2 points for a hole of 38.88), centred.
    EXPECT_EQ(center->parentWidget(), &view);
    EXPECT_EQ(center->geometry(), QRect(119, 119, 62, 62));
    view.resize(400, 300); // the same hole, centred again
    render(view);          // a hidden widget gets its resize event when it is drawn
    EXPECT_EQ(center->geometry(), QRect(169, 119, 62, 62));
    view.resize(300, 300);

    const QImage image = render(view);
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += image.pixelColor(x, y).alpha() != 0;
    EXPECT_EQ(painted, 62 * 62);
    EXPECT_EQ(image.pixelColor(150, 150), QColor(Qt::red));

    EXPECT_EQ(view.hitAt({150, 150}), SunburstHit{SunburstHit::Center{}});
    EXPECT_EQ(view.hitAt({150, 60}), std::nullopt); // ring 1 would be here
}

// A view of 300 x 300 points inside a larger window, so the pointer can leave it.
struct PointerFixture : ::testing::Test {
    QWidget window;
    SunburstView* view = new SunburstView(&window);
    QWidget* center = new QWidget;
    ListSource source = threeFiles();
    std::vector<std::optional<SunburstHit>> hovers;
    std::vector<SunburstHit> clicks;

    void SetUp() override {
        window.resize(400, 400);
        view->setGeometry(50, 50, 300, 300);
        view->setSunburstLayout(layoutOf(source), {});
        view->setCenterWidget(center);
        QObject::connect(view, &SunburstView::hovered,
                         [this](const std::optional<SunburstHit>& hit) { hovers.push_back(hit); });
        QObject::connect(view, &SunburstView::clicked,
                         [this](const SunburstHit& hit) { clicks.push_back(hit); });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // A window point over the view at `radius` and `angle` of its map.
    QPoint at(double radius, double angle) const {
        const auto p = view->mapGeometry().point(radius, angle);
        return view->mapTo(&window, QPointF(p.x, p.y)).toPoint();
    }
    QPoint inRing1(double angle) const { return at(midRadius(*view, 1), angle); }
    QWindow* handle() { return window.windowHandle(); }

    std::optional<int32_t> node(const SunburstHit& hit) const {
        return hit.segment() ? hit.segment()->item() : std::nullopt;
    }
};

TEST_F(PointerFixture, HoverReportsWhatIsUnderThePointerAndNothingOnLeaving) {
    QTest::mouseMove(handle(), inRing1(0.5 * pi));
    QTest::mouseMove(handle(), inRing1(1.25 * pi));
    QTest::mouseMove(handle(), view->mapTo(&window, QPoint(150, 150))); // over the centre widget
    QTest::mouseMove(handle(), view->mapTo(&window, QPoint(5, 5)));     // outside the rings
    QTest::mouseMove(handle(), inRing1(1.75 * pi));
    QTest::mouseMove(handle(), QPoint(10, 10)); // off the view
    ASSERT_EQ(hovers.size(), 6u);
    EXPECT_EQ(node(hovers[0].value()), 1);
    EXPECT_EQ(node(hovers[1].value()), 2);
    EXPECT_TRUE(hovers[2].value().isCenter());
    EXPECT_EQ(hovers[3], std::nullopt);
    EXPECT_EQ(node(hovers[4].value()), 3);
    EXPECT_EQ(hovers[5], std::nullopt);
}

TEST_F(PointerFixture, ClicksReportTheirHitAndNothingElse) {
    QTest::mouseClick(handle(), Qt::LeftButton, {}, inRing1(1.25 * pi));
    QTest::mouseClick(handle(), Qt::LeftButton, {}, view->mapTo(&window, QPoint(150, 150)));
    QTest::mouseClick(handle(), Qt::LeftButton, {}, view->mapTo(&window, QPoint(5, 5)));
    QTest::mouseClick(handle(), Qt::RightButton, {}, inRing1(0.5 * pi));
    // A press that travels is a drag, not a click.
    QTest::mousePress(handle(), Qt::LeftButton, {}, inRing1(0.4 * pi));
    QTest::mouseMove(handle(), inRing1(0.6 * pi));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, inRing1(0.6 * pi));
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(node(clicks[0]), 2);
    EXPECT_TRUE(clicks[1].isCenter()); // through the centre widget
}

// Hovering repaints only the arcs the highlight leaves and enters; what the window then shows
// must equal a full repaint.
TEST(SunburstView, MovingTheHighlightRepaintsWhatItLeaves) {
    const HighlightFixture f;
    QWidget window;
    window.resize(320, 320);
    auto* view = new SunburstView(&window);
    view->setGeometry(10, 10, 301, 301);
    view->setSunburstLayout(layoutOf(f.source), {});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const auto shown = [&] {
        QCoreApplication::processEvents();
        return window.screen()
            ->grabWindow(window.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage plain = shown();
    view->setHighlight(Item{f.top[0]});
    const QImage first = shown();
    ASSERT_GT(differences(plain, first), 0);
    view->setHighlight(SunburstSegment::SmallItems{f.top[2], 250, 250});
    EXPECT_EQ(differences(shown(), window.grab().toImage().convertToFormat(QImage::Format_RGB32)),
              0);
    view->setHighlight(std::nullopt);
    EXPECT_EQ(differences(shown(), plain), 0);
}
