// make-images: draws the image lists of the controls (button strips, list
// and menu icons) and the application icon, and writes them as PNG files into
// the folder given on the command line. White is the transparent colour of
// every image list, so nothing inside a shape is pure white. Run it through
// the "update-control-images" target, look at the result and commit it.

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <vector>

namespace {

enum class TLook { Normal, Hover, Pressed, Disabled };
constexpr TLook Looks[] = {TLook::Normal, TLook::Hover, TLook::Pressed, TLook::Disabled};

const QColor Background(255, 255, 255);
const QColor NearWhite(250, 251, 253);

using TSymbol = std::function<void(QPainter&, QPointF centre, double radius)>;

QImage NewImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Background);
    return image;
}

bool WhollyInside(const QPainterPath& shape, int x, int y) {
    for (const auto& corner : {QPointF(0.1, 0.1), QPointF(0.9, 0.1), QPointF(0.1, 0.9), QPointF(0.9, 0.9)}) {
        if (!shape.contains(QPointF(x, y) + corner))
            return false;
    }
    return true;
}

// Inside the shape, pure white would turn transparent: it is nudged off the
// key colour. On its edge and outside it, the faint near-white fringe that
// anti-aliasing leaves would show as a light halo on a darker parent: it
// becomes background.
void CleanEdges(QImage& image, const QPainterPath& shape) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool inside = WhollyInside(shape, x, y);
            if (inside && pixel == Background.rgb())
                image.setPixel(x, y, qRgb(254, 254, 254));
            else if (!inside && std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) >= 230)
                image.setPixel(x, y, Background.rgb());
        }
    }
}

struct TButtonColours {
    QColor Rim, Top, Bottom, Symbol;
};

TButtonColours ColoursOf(TLook look) {
    switch (look) {
    case TLook::Hover:
        return {QColor(60, 95, 150), QColor(178, 226, 255), QColor(58, 150, 232), NearWhite};
    case TLook::Pressed:
        return {QColor(40, 64, 112), QColor(30, 92, 168), QColor(88, 160, 226), QColor(226, 238, 250)};
    case TLook::Disabled:
        return {QColor(150, 150, 150), QColor(226, 226, 226), QColor(178, 178, 178), QColor(244, 244, 244)};
    case TLook::Normal:
        break;
    }
    return {QColor(70, 92, 140), QColor(150, 208, 250), QColor(38, 118, 200), NearWhite};
}

// Draws one frame and gives the disc it covers.
QPainterPath DrawButtonFrame(QImage& image, int frame, TLook look, const TSymbol& symbol) {
    const int side = image.height();
    const QRectF cell(frame * side, 0, side, side);
    const QPointF centre = cell.center();
    const double radius = side / 2.0 - 1.0;
    const auto colours = ColoursOf(look);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient body(cell.topLeft(), cell.bottomLeft());
    body.setColorAt(0, colours.Top);
    body.setColorAt(1, colours.Bottom);
    painter.setPen(QPen(colours.Rim, 1.2));
    painter.setBrush(body);
    painter.drawEllipse(centre, radius - 0.6, radius - 0.6);

    // A soft gloss over the upper half; the pressed look has none.
    if (look != TLook::Pressed) {
        QLinearGradient gloss(cell.topLeft(), QPointF(cell.left(), centre.y()));
        gloss.setColorAt(0, QColor(255, 255, 255, look == TLook::Hover ? 150 : 120));
        gloss.setColorAt(1, QColor(255, 255, 255, 10));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gloss);
        painter.drawEllipse(QPointF(centre.x(), centre.y() - radius * 0.42), radius * 0.78, radius * 0.5);
    }

    const QPointF at = look == TLook::Pressed ? centre + QPointF(0, 1) : centre;
    if (look != TLook::Disabled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(10, 40, 90, 90));
        symbol(painter, at + QPointF(0.6, 0.9), radius);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.Symbol);
    symbol(painter, at, radius);
    painter.end();

    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    return disc;
}

QImage ButtonStrip(int side, const TSymbol& symbol) {
    QImage image = NewImage(side * 4, side);
    QPainterPath discs;
    int frame = 0;
    for (const auto look : Looks)
        discs.addPath(DrawButtonFrame(image, frame++, look, symbol));
    CleanEdges(image, discs);
    return image;
}

void Triangle(QPainter& painter, QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    painter.drawPath(path);
}

void Bar(QPainter& painter, double left, double top, double width, double height) {
    painter.drawRoundedRect(QRectF(left, top, width, height), width * 0.3, width * 0.3);
}

void PlaySymbol(QPainter& painter, QPointF c, double r) {
    Triangle(painter, c + QPointF(-0.26 * r, -0.46 * r), c + QPointF(-0.26 * r, 0.46 * r), c + QPointF(0.5 * r, 0));
}

void PauseSymbol(QPainter& painter, QPointF c, double r) {
    const double width = 0.24 * r, height = 0.86 * r, gap = 0.2 * r;
    Bar(painter, c.x() - gap / 2 - width, c.y() - height / 2, width, height);
    Bar(painter, c.x() + gap / 2, c.y() - height / 2, width, height);
}

void PreviousSymbol(QPainter& painter, QPointF c, double r) {
    const double h = 0.4 * r;
    Bar(painter, c.x() - 0.5 * r, c.y() - h, 0.16 * r, 2 * h);
    Triangle(painter, c + QPointF(0.42 * r, -h), c + QPointF(0.42 * r, h), c + QPointF(-0.3 * r, 0));
}

void NextSymbol(QPainter& painter, QPointF c, double r) {
    const double h = 0.4 * r;
    Bar(painter, c.x() + 0.34 * r, c.y() - h, 0.16 * r, 2 * h);
    Triangle(painter, c + QPointF(-0.42 * r, -h), c + QPointF(-0.42 * r, h), c + QPointF(0.3 * r, 0));
}

// 16 x 16 list icons.

QImage Icon(const std::function<void(QPainter&)>& draw, const QPainterPath& shape) {
    QImage image = NewImage(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    CleanEdges(image, shape);
    return image;
}

QPainterPath DiscPath() {
    QPainterPath path;
    path.addEllipse(QPointF(8, 8), 7.2, 7.2);
    return path;
}

void Disc(QPainter& painter, QColor light, QColor dark) {
    QRadialGradient fill(QPointF(6.5, 5.5), 9);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(130), 1));
    painter.setBrush(fill);
    painter.drawEllipse(QPointF(8, 8), 6.8, 6.8);
}

QPainterPath NotePath() {
    QPainterPath path;
    path.addEllipse(QPointF(5.6, 12.2), 3.0, 2.3);
    path.addRect(QRectF(7.6, 2.2, 1.5, 10.2));
    path.moveTo(9.1, 2.2);
    path.cubicTo(10.5, 4.2, 13.8, 4.6, 12.8, 8.6);
    path.cubicTo(12.6, 6.6, 11.2, 5.8, 9.1, 5.6);
    path.closeSubpath();
    return path.simplified();
}

QImage NoteIcon(QColor colour) {
    const auto note = NotePath();
    return Icon(
        [&](QPainter& painter) {
            painter.setPen(QPen(colour.darker(140), 0.6));
            painter.setBrush(colour);
            painter.drawPath(note);
        },
        note);
}

QImage PlayingIcon() {
    return Icon(
        [](QPainter& painter) {
            Disc(painter, QColor(120, 220, 110), QColor(20, 130, 40));
            painter.setPen(Qt::NoPen);
            painter.setBrush(NearWhite);
            Triangle(painter, QPointF(6.2, 4.6), QPointF(6.2, 11.4), QPointF(11.6, 8));
        },
        DiscPath());
}

QImage FailedIcon() {
    return Icon(
        [](QPainter& painter) {
            Disc(painter, QColor(250, 120, 110), QColor(180, 20, 20));
            painter.setPen(QPen(NearWhite, 2.0, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(5.4, 5.4), QPointF(10.6, 10.6));
            painter.drawLine(QPointF(10.6, 5.4), QPointF(5.4, 10.6));
        },
        DiscPath());
}

// An unfinished download that waits to be continued: a pause sign on an amber disc.
QImage PausedIcon() {
    return Icon(
        [](QPainter& painter) {
            Disc(painter, QColor(255, 214, 120), QColor(214, 136, 20));
            painter.setPen(Qt::NoPen);
            painter.setBrush(NearWhite);
            painter.drawRoundedRect(QRectF(5.2, 4.6, 2.1, 6.8), 0.6, 0.6);
            painter.drawRoundedRect(QRectF(8.7, 4.6, 2.1, 6.8), 0.6, 0.6);
        },
        DiscPath());
}

QImage ChartIcon() {
    const struct {
        QRectF Box;
        QColor Colour;
    } bars[] = {{QRectF(2, 9, 3.2, 4.5), QColor(70, 150, 230)},
                {QRectF(6.5, 5.5, 3.2, 8), QColor(90, 190, 60)},
                {QRectF(11, 2, 3.2, 11.5), QColor(240, 140, 30)}};
    QPainterPath shape;
    for (const auto& bar : bars)
        shape.addRect(bar.Box);
    shape.addRect(QRectF(1, 13.8, 14, 1.2));
    return Icon(
        [&](QPainter& painter) {
            for (const auto& bar : bars) {
                QLinearGradient fill(bar.Box.topLeft(), bar.Box.topRight());
                fill.setColorAt(0, bar.Colour.lighter(125));
                fill.setColorAt(1, bar.Colour.darker(115));
                painter.setPen(QPen(bar.Colour.darker(150), 0.8));
                painter.setBrush(fill);
                painter.drawRect(bar.Box);
            }
            painter.setPen(QPen(QColor(90, 90, 90), 1.2));
            painter.drawLine(QPointF(1, 14.4), QPointF(15, 14.4));
        },
        shape);
}

QImage WaitingIcon() {
    return Icon(
        [](QPainter& painter) {
            painter.setPen(QPen(QColor(80, 100, 140), 1.4));
            painter.setBrush(QColor(236, 242, 250));
            painter.drawEllipse(QPointF(8, 8), 6.4, 6.4);
            painter.setPen(QPen(QColor(50, 60, 80), 1.4, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(8, 8), QPointF(8, 4.2));
            painter.drawLine(QPointF(8, 8), QPointF(10.8, 9.6));
        },
        DiscPath());
}

QImage DownloadingIcon() {
    QPainterPath arrow;
    arrow.moveTo(6, 1.5);
    arrow.lineTo(10, 1.5);
    arrow.lineTo(10, 6.5);
    arrow.lineTo(13, 6.5);
    arrow.lineTo(8, 11.5);
    arrow.lineTo(3, 6.5);
    arrow.lineTo(6, 6.5);
    arrow.closeSubpath();
    QPolygonF tray;
    tray << QPointF(2, 11) << QPointF(2, 14.2) << QPointF(14, 14.2) << QPointF(14, 11);
    QPainterPath trayLine;
    trayLine.addPolygon(tray);
    QPainterPathStroker stroker;
    stroker.setWidth(1.5);
    QPainterPath shape = arrow + stroker.createStroke(trayLine);
    return Icon(
        [&](QPainter& painter) {
            QLinearGradient fill(QPointF(0, 1.5), QPointF(0, 11.5));
            fill.setColorAt(0, QColor(110, 190, 250));
            fill.setColorAt(1, QColor(30, 110, 200));
            painter.setPen(QPen(QColor(20, 70, 140), 0.9));
            painter.setBrush(fill);
            painter.drawPath(arrow);
            painter.setPen(QPen(QColor(90, 100, 115), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPolyline(tray);
        },
        shape);
}

// 16 x 16 menu images: shapes filled with a light-to-dark gradient and
// outlined in a darker shade of their colour.

QPainterPath Stroked(const QPainterPath& path, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).simplified();
}

void FillShape(QPainter& painter, const QPainterPath& shape, QColor colour) {
    const QRectF box = shape.boundingRect();
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, colour.lighter(140));
    fill.setColorAt(1, colour.darker(110));
    painter.setPen(QPen(colour.darker(160), 0.8));
    painter.setBrush(fill);
    painter.drawPath(shape);
}

QImage ShapeIcon(const QPainterPath& shape, QColor colour) {
    return Icon([&](QPainter& painter) { FillShape(painter, shape, colour); }, shape);
}

QPainterPath Polygon(std::initializer_list<QPointF> points) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

QPainterPath RoundBox(QRectF box, double radius) {
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    return path;
}

QImage MenuPlay() {
    return ShapeIcon(Polygon({{4, 2}, {4, 14}, {13.5, 8}}), QColor(40, 160, 60));
}

QImage MenuArrow(bool up) {
    QPainterPath arrow = Polygon({{8, 1.5}, {14, 8}, {10.2, 8}, {10.2, 14.5}, {5.8, 14.5}, {5.8, 8}, {2, 8}});
    if (!up)
        arrow = QTransform(1, 0, 0, -1, 0, 16).map(arrow);
    return ShapeIcon(arrow, QColor(50, 120, 210));
}

QImage MenuMinus() {
    return ShapeIcon(RoundBox(QRectF(2, 6, 12, 4), 1.5), QColor(210, 50, 40));
}

QImage MenuPlus() {
    const QPainterPath plus = (RoundBox(QRectF(2, 6, 12, 4), 1.2) + RoundBox(QRectF(6, 2, 4, 12), 1.2)).simplified();
    return ShapeIcon(plus, QColor(40, 160, 60));
}

QImage MenuStop() {
    return ShapeIcon(RoundBox(QRectF(3, 3, 10, 10), 2), QColor(210, 50, 40));
}

QImage MenuTrash() {
    const QPainterPath body = Polygon({{3.5, 5}, {12.5, 5}, {11.5, 15}, {4.5, 15}});
    const QPainterPath lid = RoundBox(QRectF(2, 2.5, 12, 2), 0.8) + RoundBox(QRectF(6, 1, 4, 2), 0.8);
    return Icon(
        [&](QPainter& painter) {
            FillShape(painter, body, QColor(120, 130, 145));
            FillShape(painter, lid.simplified(), QColor(90, 100, 115));
            painter.setPen(QPen(QColor(225, 230, 236), 1.0));
            for (const double x : {6.2, 8.0, 9.8})
                painter.drawLine(QPointF(x, 7), QPointF(x, 13.2));
        },
        body + lid);
}

QImage MenuSelectAll() {
    const QPainterPath box = RoundBox(QRectF(1.5, 1.5, 13, 13), 1.5);
    QPainterPath tick;
    tick.moveTo(4.2, 8.2);
    tick.lineTo(7, 11);
    tick.lineTo(12, 4.6);
    return Icon(
        [&](QPainter& painter) {
            painter.setPen(QPen(QColor(50, 90, 150), 1.0));
            painter.setBrush(QColor(228, 238, 252));
            painter.drawPath(box);
            painter.setPen(QPen(QColor(30, 140, 50), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(tick);
        },
        box);
}

QImage MenuCopy() {
    const QRectF back(1.5, 1.5, 9, 11), front(5.5, 4.5, 9, 11);
    QPainterPath shape;
    shape.addRect(back);
    shape.addRect(front);
    return Icon(
        [&](QPainter& painter) {
            for (const QRectF& page : {back, front}) {
                painter.setPen(QPen(QColor(60, 90, 140), 1.0));
                painter.setBrush(QColor(236, 243, 252));
                painter.drawRect(page);
            }
            painter.setPen(QPen(QColor(120, 150, 200), 1.0));
            for (const double y : {7.5, 9.5, 11.5, 13.5})
                painter.drawLine(QPointF(7.5, y), QPointF(12.5, y));
        },
        shape);
}

QImage MenuSearch() {
    QPainterPath ring;
    ring.addEllipse(QPointF(6.5, 6.5), 4.3, 4.3);
    QPainterPath handle;
    handle.moveTo(9.8, 9.8);
    handle.lineTo(14, 14);
    QPainterPath lens;
    lens.addEllipse(QPointF(6.5, 6.5), 4.3, 4.3);
    const QPainterPath shape = (lens + Stroked(handle, 3.0) + Stroked(ring, 1.8)).simplified();
    return Icon(
        [&](QPainter& painter) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(200, 228, 250));
            painter.drawPath(lens);
            painter.setPen(QPen(QColor(140, 90, 40), 3.0, Qt::SolidLine, Qt::RoundCap));
            painter.drawPath(handle);
            painter.setPen(QPen(QColor(60, 80, 110), 1.8));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(ring);
        },
        shape);
}

QImage MenuGlobe() {
    return Icon(
        [](QPainter& painter) {
            Disc(painter, QColor(130, 200, 250), QColor(30, 100, 190));
            QPainterPath inside;
            inside.addEllipse(QPointF(8, 8), 6.2, 6.2);
            painter.setClipPath(inside);
            painter.setPen(QPen(QColor(225, 240, 252), 0.8));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QPointF(8, 8), 2.8, 6.6);
            painter.drawLine(QPointF(1.6, 8), QPointF(14.4, 8));
            painter.drawLine(QPointF(3, 4.6), QPointF(13, 4.6));
            painter.drawLine(QPointF(3, 11.4), QPointF(13, 11.4));
        },
        DiscPath());
}

QImage MenuEraser() {
    const QTransform tilt = QTransform().translate(8, 8).rotate(-40).translate(-8, -8);
    const QPainterPath tip = tilt.map(RoundBox(QRectF(1, 5.5, 6.5, 5), 1));
    const QPainterPath body = tilt.map(RoundBox(QRectF(7.5, 5.5, 7.5, 5), 1));
    return Icon(
        [&](QPainter& painter) {
            FillShape(painter, body, QColor(70, 120, 210));
            FillShape(painter, tip, QColor(240, 130, 150));
        },
        (tip + body).simplified());
}

QImage MenuDisk() {
    const QPainterPath body = RoundBox(QRectF(1.5, 4.5, 10, 7), 1.5);
    const QPainterPath plug = RoundBox(QRectF(11, 5.5, 4, 5), 0.5);
    return Icon(
        [&](QPainter& painter) {
            FillShape(painter, plug, QColor(175, 180, 188));
            FillShape(painter, body, QColor(60, 110, 180));
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(70, 70, 80));
            painter.drawRect(QRectF(12.5, 6.6, 1.2, 1.1));
            painter.drawRect(QRectF(12.5, 8.4, 1.2, 1.1));
            painter.setBrush(QColor(120, 230, 90));
            painter.drawEllipse(QPointF(4, 8), 1, 1);
        },
        (body + plug).simplified());
}

QImage MenuExit() {
    QPainterPath arc;
    arc.arcMoveTo(QRectF(2.5, 3, 11, 11), 125); // open at the top
    arc.arcTo(QRectF(2.5, 3, 11, 11), 125, 290);
    QPainterPath bar;
    bar.moveTo(8, 1.5);
    bar.lineTo(8, 7.5);
    return ShapeIcon((Stroked(arc, 2.4) + Stroked(bar, 2.4)).simplified(), QColor(215, 50, 40));
}

// The application icon (window, tray, desktop menu): a blue tile with a
// pair of beamed notes and the waves of a wireless speaker. Unlike the image
// lists it has a real alpha channel, as desktop icons need. Small sizes drop
// the fine detail so that what is left stays sharp.

QImage ApplicationIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0); // drawn on a 64 x 64 grid
    const bool small = size < 32;

    // The tile, its rim and a soft gloss over the top.
    const QRectF tile(2.5, 2.5, 59, 59);
    QLinearGradient body(tile.topLeft(), tile.bottomLeft());
    body.setColorAt(0, QColor(78, 170, 245));
    body.setColorAt(1, QColor(22, 84, 178));
    painter.setPen(QPen(QColor(18, 60, 130), small ? 3.0 : 1.6));
    painter.setBrush(body);
    painter.drawRoundedRect(tile, 13, 13);
    if (!small) {
        QLinearGradient gloss(QPointF(0, 4), QPointF(0, 32));
        gloss.setColorAt(0, QColor(255, 255, 255, 110));
        gloss.setColorAt(1, QColor(255, 255, 255, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gloss);
        painter.drawRoundedRect(QRectF(5, 4.5, 54, 28), 11, 11);
    }

    // Two beamed eighth notes, lower left.
    QPainterPath notes;
    notes.setFillRule(Qt::WindingFill);
    const double stem = small ? 4.4 : 3.4;
    notes.addEllipse(QPointF(14.5, 47), 7, 5.4);
    notes.addEllipse(QPointF(34, 43), 7, 5.4);
    notes.addRect(QRectF(21.5 - stem, 24, stem, 23));
    notes.addRect(QRectF(41 - stem, 20, stem, 23));
    QPolygonF beam;
    beam << QPointF(21.5 - stem, 24) << QPointF(41, 20) << QPointF(41, 27.5) << QPointF(21.5 - stem, 31.5);
    notes.addPolygon(beam);
    notes = notes.simplified();
    if (!small) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(8, 36, 90, 90));
        painter.drawPath(notes.translated(1.2, 1.6));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(NearWhite);
    painter.drawPath(notes);

    // The waves of the wireless link, upper right, going out from a point.
    const QColor wave(255, 210, 80);
    const QPointF source(46.5, 17.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(wave, small ? 4.0 : 3.0, Qt::SolidLine, Qt::RoundCap));
    const std::vector<double> radii = small ? std::vector<double>{9.5} : std::vector<double>{6.5, 12.5};
    for (const double r : radii)
        painter.drawArc(QRectF(source.x() - r, source.y() - r, 2 * r, 2 * r), 0, 90 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(wave);
    painter.drawEllipse(source, small ? 3.2 : 2.6, small ? 3.2 : 2.6);
    painter.end();
    return image;
}

bool Save(const QImage& image, const QString& folder, const QString& list, int index) {
    const QString path = QStringLiteral("%1/%2_%3.png").arg(folder, list).arg(index);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "make-images: cannot write %s\n", qPrintable(path));
    return false;
}

// The application icon at the sizes of the desktop's icon theme.
bool SaveApplicationIcons(const QString& folder) {
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        if (!Save(ApplicationIcon(size), folder, "AppIcon", size))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-images <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!SaveApplicationIcons(folder))
        return 1;
    const bool ok = Save(ButtonStrip(29, PreviousSymbol), folder, "imglstCtrlBtn", 0) &&
                    Save(ButtonStrip(29, NextSymbol), folder, "imglstCtrlBtn", 1) &&
                    Save(ButtonStrip(34, PlaySymbol), folder, "imglstPlayBtn", 0) &&
                    Save(ButtonStrip(34, PauseSymbol), folder, "imglstPlayBtn", 1) &&
                    Save(NoteIcon(QColor(70, 96, 150)), folder, "imglstPlayList", 0) &&
                    Save(PlayingIcon(), folder, "imglstPlayList", 1) &&
                    Save(FailedIcon(), folder, "imglstPlayList", 2) &&
                    Save(NoteIcon(QColor(226, 128, 24)), folder, "imglstPlayList", 3) &&
                    Save(ChartIcon(), folder, "imglstPlayList", 4) && Save(WaitingIcon(), folder, "imglstStatus", 0) &&
                    Save(DownloadingIcon(), folder, "imglstStatus", 1) &&
                    Save(PausedIcon(), folder, "imglstStatus", 2) && Save(FailedIcon(), folder, "imglstStatus", 3);
    const QImage menu[] = {MenuPlay(),   MenuArrow(true), MenuArrow(false),  MenuMinus(), MenuTrash(),
                           MenuPlus(),   MenuSelectAll(), DownloadingIcon(), MenuStop(),  MenuCopy(),
                           MenuSearch(), MenuGlobe(),     MenuEraser(),      MenuDisk(),  MenuExit()};
    bool menuOk = true;
    for (int i = 0; i < int(std::size(menu)); ++i)
        menuOk = menuOk && Save(menu[i], folder, "imglstMenu", i);
    return ok && menuOk ? 0 : 1;
}
