#include "map_picture.h"

#include "corekit/qt_color.h"
#include "corekit/ring_palette.h"
#include "corekit/vellicor_theme.h"
#include "sunburstkit/sunburst_layout.h"
#include "sunburstkit/sunburst_view.h"
#include "sunburstkit/tree_source.h"

#include <QApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace hollowmere::cli {

namespace {

// The folder's name over its size, scaled to the hole it sits in.
class CenterCaption : public QWidget {
public:
    CenterCaption(QString name, QString size)
        : name_(std::move(name))
        , size_(std::move(size)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(palette().color(QPalette::WindowText));
        // The hole is round: keep the text clear of the square's corners.
        const double side = std::min(width(), height());
        const double textWidth = side * 0.86;

        QFont nameFont = font();
        nameFont.setBold(true);
        nameFont.setPixelSize(std::max(8, static_cast<int>(side * 0.09)));
        QFont sizeFont = font();
        sizeFont.setWeight(QFont::DemiBold);
        sizeFont.setPixelSize(std::max(9, static_cast<int>(side * 0.13)));
        const QFontMetricsF nameMetrics(nameFont, this);
        const QFontMetricsF sizeMetrics(sizeFont, this);

        const double spacing = side * 0.02;
        const double top = (height() - nameMetrics.height() - spacing - sizeMetrics.height()) / 2;
        painter.setFont(nameFont);
        painter.drawText(QRectF(0, top, width(), nameMetrics.height()), Qt::AlignCenter,
                         nameMetrics.elidedText(name_, Qt::ElideMiddle, textWidth));
        painter.setFont(sizeFont);
        painter.drawText(
            QRectF(0, top + nameMetrics.height() + spacing, width(), sizeMetrics.height()),
            Qt::AlignCenter, sizeMetrics.elidedText(size_, Qt::ElideRight, textWidth));
    }

private:
    QString name_;
    QString size_;
};

bool writeMapPicture(const FileTree& tree, const MapPicture& picture, std::string& error) {
    const NodeID root = FileTree::root();
    const QColor canvas = toQColor(VellicorTheme::canvas, picture.dark);

    SunburstView view;
    QPalette palette = view.palette();
    palette.setColor(QPalette::Window, canvas);
    // The primary text colour: black or white at 85%.
    palette.setColor(QPalette::WindowText,
                     picture.dark ? QColor(255, 255, 255, 217) : QColor(0, 0, 0, 217));
    view.setPalette(palette);
    view.resize(picture.size, picture.size);
    view.setSunburstLayout(
        SunburstLayout(root.index, TreeSource(tree), SunburstLayout::standardMaxDepth,
                       SunburstLayout::standardMinAngle, RingPalette::slotCount),
        [&tree](int32_t node) { return QString::fromStdString(tree.name(NodeID{node})); });
    view.setCenterWidget(new CenterCaption(QString::fromStdString(tree.name(root)),
                                           QString::fromStdString(picture.sizeText)));

    QImage image(picture.size, picture.size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    image.fill(canvas);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    QImageWriter writer(QFile::decodeName(picture.path.c_str()), "png");
    if (writer.write(image)) return true;
    error = "couldn't write " + picture.path + ": " + writer.errorString().toStdString();
    return false;
}

} // namespace
} // namespace hollowmere::cli

extern "C" bool hollowmere_write_map_picture(const hollowmere::FileTree& tree,
                                             const hollowmere::cli::MapPicture& picture,
                                             std::string& error) {
    // Drawing into an image needs no display: offscreen unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes options of its own from the command line; it gets none of ours.
    static char program[] = "hollowmere-scan";
    int argc = 1;
    char* argv[] = {program, nullptr};
    QApplication app(argc, argv);
    return hollowmere::cli::writeMapPicture(tree, picture, error);
}
