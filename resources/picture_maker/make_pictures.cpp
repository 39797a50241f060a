// Draws every picture of the two windows: the logo, the three page
// backgrounds, the three side pictures, the state images of the mode buttons
// and of OK and Cancel, the list arrow and the 32 x 32 icon.
// Usage: make_pictures OUTPUT_DIR   (scripts/make-pictures runs it)

#include <cmath>
#include <functional>

#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

namespace {

const QColor Theme(0x49, 0x67, 0x99);
const QColor Cream(0xFF, 0xFB, 0xF0);
const QColor SkyBlue(0xA6, 0xCA, 0xF0);
const QColor Olive(0x80, 0x80, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);

// The 96-dpi layout the pictures are drawn for (window client coordinates).
const QRect PageArea(147, 17, 476, 559);
const QRect SideArea(2, 338, 146, 255);

QString g_Out;

bool Save(const QImage& image, const QString& name, int quality = 92)
{
    const QString path = g_Out + QLatin1Char('/') + name;
    const bool ok = image.save(path, nullptr, quality);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << Qt::endl;
    return ok;
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QFont Font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// ---------------------------------------------------------------- the mark

// The product mark: a blue disc with a white ring open at the lower right
// (a "Q"), a play triangle inside and two sound arcs.
void DrawMark(QPainter& p, const QRectF& box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = box.center();
    const double r = std::min(box.width(), box.height()) / 2;
    QRadialGradient disc(c - QPointF(r * 0.35, r * 0.4), r * 1.5);
    disc.setColorAt(0, QColor(0x8F, 0xB3, 0xE8));
    disc.setColorAt(0.55, Theme);
    disc.setColorAt(1, Theme.darker(150));
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(c, r, r);
    // gloss
    QLinearGradient gloss(c.x(), c.y() - r, c.x(), c.y());
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - r * 0.78, c.y() - r * 0.95, r * 1.56, r * 1.05));
    // the ring of the Q
    QPen ring(Qt::white, r * 0.16, Qt::SolidLine, Qt::RoundCap);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    const QRectF rr(c.x() - r * 0.58, c.y() - r * 0.58, r * 1.16, r * 1.16);
    p.drawArc(rr, -20 * 16, -320 * 16);
    p.drawLine(c + QPointF(r * 0.22, r * 0.22), c + QPointF(r * 0.66, r * 0.66));
    // play triangle
    QPainterPath play;
    play.moveTo(c + QPointF(-r * 0.16, -r * 0.26));
    play.lineTo(c + QPointF(r * 0.28, 0));
    play.lineTo(c + QPointF(-r * 0.16, r * 0.26));
    play.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xD8, 0x3A));
    p.drawPath(play);
    p.restore();
}

QImage Logo()
{
    QImage image(120, 116, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, 116);
    back.setColorAt(0, Qt::white);
    back.setColorAt(1, QColor(0xE6, 0xEC, 0xF6));
    p.fillRect(image.rect(), back);
    DrawMark(p, QRectF(24, 4, 72, 72));
    p.setFont(Font(17, true));
    p.setPen(Theme.darker(120));
    p.drawText(QRectF(0, 78, 120, 20), Qt::AlignCenter, QStringLiteral("QUORVEX"));
    p.setFont(Font(10));
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.drawText(QRectF(0, 97, 120, 14), Qt::AlignCenter, QStringLiteral("Media Converter"));
    return image;
}

QImage Icon()
{
    QImage image(32, 32, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    DrawMark(p, QRectF(1, 1, 30, 30));
    return image;
}

// ---------------------------------------------------------------- illustrations

using TScene = std::function<void(QPainter&)>;

void Note(QPainter& p, QPointF at, double size, const QColor& colour, bool pair)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.translate(at);
    p.rotate(-18);
    p.drawEllipse(QPointF(0, 0), size * 0.55, size * 0.38);
    if (pair)
        p.drawEllipse(QPointF(size * 1.3, -size * 0.3), size * 0.55, size * 0.38);
    p.rotate(18);
    QPen stem(colour, size * 0.14);
    p.setPen(stem);
    const QPointF top(size * 0.5, -size * 2.3);
    p.drawLine(QPointF(size * 0.5, -size * 0.1), top);
    if (pair) {
        const QPointF top2(size * 1.78, -size * 2.75);
        p.drawLine(QPointF(size * 1.78, -size * 0.55), top2);
        p.setPen(QPen(colour, size * 0.42, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(top + QPointF(0, size * 0.2), top2 + QPointF(0, size * 0.2));
    } else {
        QPainterPath flag;
        flag.moveTo(top);
        flag.cubicTo(top + QPointF(size * 0.9, size * 0.5), top + QPointF(size * 0.3, size * 1.1),
                     top + QPointF(size * 0.8, size * 1.6));
        p.setPen(QPen(colour, size * 0.16, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(flag);
    }
    p.restore();
}

// Flowing bands that run from the side picture into the page.
void Waves(QPainter& p, const QColor& a, const QColor& b)
{
    for (int i = 0; i < 5; ++i) {
        QPainterPath wave;
        const double y0 = 470 + i * 16;
        wave.moveTo(-10, y0 + 40);
        wave.cubicTo(80, y0 - 60 + i * 6, 190, y0 + 70 - i * 8, 330, y0 - 30 + i * 10);
        wave.lineTo(330, y0 - 22 + i * 10);
        wave.cubicTo(190, y0 + 80 - i * 8, 80, y0 - 48 + i * 6, -10, y0 + 52);
        wave.closeSubpath();
        QColor c = Mix(a, b, i / 4.0);
        c.setAlpha(110 - i * 12);
        p.fillPath(wave, c);
    }
}

void AudioScene(QPainter& p)
{
    Waves(p, Theme, SkyBlue);
    // a loudspeaker with sound arcs, on the seam of the two pictures
    p.save();
    p.translate(118, 500);
    QLinearGradient body(-40, -40, 40, 40);
    body.setColorAt(0, QColor(0x5C, 0x7D, 0xB5));
    body.setColorAt(1, Theme.darker(140));
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(-34, -46, 68, 92), 10, 10);
    QRadialGradient cone(QPointF(0, 12), 24);
    cone.setColorAt(0, QColor(0xDD, 0xE6, 0xF5));
    cone.setColorAt(0.35, QColor(0x30, 0x40, 0x5C));
    cone.setColorAt(1, QColor(0x18, 0x22, 0x33));
    p.setBrush(cone);
    p.drawEllipse(QPointF(0, 12), 24, 24);
    p.setBrush(QColor(0x30, 0x40, 0x5C));
    p.drawEllipse(QPointF(0, -27), 10, 10);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QColor arc = Theme;
        arc.setAlpha(200 - i * 50);
        p.setPen(QPen(arc, 5, Qt::SolidLine, Qt::RoundCap));
        const double r = 52 + i * 16;
        p.drawArc(QRectF(-r, -r, 2 * r, 2 * r), -35 * 16, 70 * 16);
    }
    p.restore();
    Note(p, QPointF(40, 440), 14, Theme, false);
    Note(p, QPointF(70, 560), 11, QColor(0x7F, 0x9C, 0xCB), true);
    Note(p, QPointF(250, 455), 16, QColor(0x5A, 0x7B, 0xB3), true);
    Note(p, QPointF(285, 560), 10, Theme, false);
}

void FilmFrame(QPainter& p, const QRectF& r, double hue)
{
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor::fromHsvF(float(hue), 0.45f, 0.95f));
    sky.setColorAt(1, QColor::fromHsvF(float(hue), 0.7f, 0.6f));
    p.fillRect(r, sky);
    QPainterPath hill;
    hill.moveTo(r.left(), r.bottom());
    hill.quadTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.45, r.right(),
                r.top() + r.height() * 0.75);
    hill.lineTo(r.bottomRight());
    hill.closeSubpath();
    p.fillPath(hill, QColor(255, 255, 255, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 170));
    p.drawEllipse(QPointF(r.right() - r.width() * 0.25, r.top() + r.height() * 0.3),
                  r.height() * 0.12, r.height() * 0.12);
}

void VideoScene(QPainter& p)
{
    Waves(p, Theme, QColor(0x9A, 0x7F, 0xC8));
    // a film strip curving from the side picture into the page
    p.save();
    p.translate(20, 585);
    p.rotate(-24);
    const double frame = 58;
    for (int i = 0; i < 5; ++i) {
        const QRectF cell(i * (frame + 6), -frame, frame + 6, frame + 26);
        p.fillRect(cell, QColor(0x22, 0x28, 0x33));
        for (int h = 0; h < 3; ++h) {
            p.fillRect(QRectF(cell.left() + 6 + h * 21, cell.top() + 4, 10, 7), Qt::white);
            p.fillRect(QRectF(cell.left() + 6 + h * 21, cell.bottom() - 11, 10, 7), Qt::white);
        }
        FilmFrame(p, QRectF(cell.left() + 4, cell.top() + 15, frame - 2, frame - 4),
                  0.55 + i * 0.06);
    }
    p.restore();
    // a clapper board
    p.save();
    p.translate(232, 470);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0x2B, 0x33, 0x44));
    p.drawRoundedRect(QRectF(-38, -16, 76, 52), 4, 4);
    p.rotate(-16);
    p.drawRect(QRectF(-38, -32, 76, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int s = 0; s < 4; ++s) {
        QPolygonF stripe;
        stripe << QPointF(-32 + s * 19, -32) << QPointF(-24 + s * 19, -32)
               << QPointF(-30 + s * 19, -18) << QPointF(-38 + s * 19, -18);
        p.drawPolygon(stripe);
    }
    p.restore();
    // a play badge
    p.save();
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Theme);
    p.drawEllipse(QPointF(60, 450), 22, 22);
    QPainterPath play;
    play.moveTo(53, 438);
    play.lineTo(72, 450);
    play.lineTo(53, 462);
    play.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(play);
    p.restore();
}

void DownloadScene(QPainter& p)
{
    Waves(p, Theme, QColor(0x4F, 0xA8, 0x8C));
    // a globe with a big arrow down into a tray
    p.save();
    const QPointF c(120, 500);
    const double r = 52;
    QRadialGradient sea(c - QPointF(18, 20), r * 1.4);
    sea.setColorAt(0, QColor(0xBF, 0xDD, 0xFA));
    sea.setColorAt(0.6, QColor(0x4C, 0x86, 0xC6));
    sea.setColorAt(1, Theme.darker(130));
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(sea);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    for (double k : {0.35, 0.7})
        p.drawEllipse(c, r * k, r);
    p.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
    p.drawEllipse(QRectF(c.x() - r, c.y() - r * 0.55, 2 * r, r * 1.1));
    p.restore();
    p.save();
    QPainterPath arrow;
    arrow.moveTo(250, 420);
    arrow.lineTo(274, 420);
    arrow.lineTo(274, 478);
    arrow.lineTo(296, 478);
    arrow.lineTo(262, 520);
    arrow.lineTo(228, 478);
    arrow.lineTo(250, 478);
    arrow.closeSubpath();
    QLinearGradient fill(0, 420, 0, 520);
    fill.setColorAt(0, QColor(0x8F, 0xD6, 0x9A));
    fill.setColorAt(1, QColor(0x2E, 0x8B, 0x57));
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(fill);
    p.drawPath(arrow);
    p.setPen(QPen(Theme, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF tray;
    tray << QPointF(222, 512) << QPointF(222, 536) << QPointF(302, 536) << QPointF(302, 512);
    p.drawPolyline(tray);
    p.restore();
    // link chain marks
    p.save();
    p.setPen(QPen(Theme, 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(196, 548, 34, 16), 8, 8);
    p.drawRoundedRect(QRectF(218, 548, 34, 16), 8, 8);
    p.restore();
}

QImage SceneLayer(const TScene& scene)
{
    QImage layer(643, 600, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    scene(p);
    return layer;
}

QImage SidePicture(const QImage& layer, const QString& title)
{
    QImage image(SideArea.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // the band behind the mode buttons
    QLinearGradient band(0, 0, 0, 104);
    band.setColorAt(0, Theme.darker(115));
    band.setColorAt(1, Mix(Theme, Qt::white, 0.25));
    QPainterPath head;
    head.addRoundedRect(QRectF(4, 4, 138, 100), 10, 10);
    p.fillPath(head, band);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.drawPath(head);
    // slots under the three mode buttons
    for (int y : {14, 42, 70}) {
        QPainterPath slot;
        slot.addRoundedRect(QRectF(24, y - 2, 95, 22), 11, 11);
        p.fillPath(slot, QColor(0, 0, 0, 45));
    }
    p.drawImage(QPoint(0, 0), layer, SideArea);
    // The mode's name on a light plate, so the illustration never hides it.
    p.setFont(Font(11, true));
    const qreal plateWidth = QFontMetricsF(p.font()).horizontalAdvance(title) + 16;
    QPainterPath plate;
    plate.addRoundedRect(QRectF((146 - plateWidth) / 2, 229, plateWidth, 16), 8, 8);
    p.fillPath(plate, QColor(255, 255, 255, 225));
    p.setPen(QPen(Mix(Theme, Qt::white, 0.5), 1));
    p.drawPath(plate);
    p.setPen(Theme);
    p.drawText(QRectF(0, 228, 146, 18), Qt::AlignCenter, title);
    return image;
}

// The step boxes of a page, in the page's 96-dpi coordinates.
QList<QRect> StepBoxes(int count)
{
    const int tops[] = {16, 112, 210, 309};
    const int heights[] = {90, 90, 90, 161};
    QList<QRect> boxes;
    for (int i = 0; i < count; ++i) {
        const auto s = [](int v) { return int(std::lround(v * 13.0 / 16.0)); };
        boxes << QRect(s(39), s(tops[i]), s(523), s(heights[i]));
    }
    return boxes;
}

QImage PagePicture(const QImage& layer, int steps, const QColor& tint)
{
    QImage image(PageArea.size(), QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 0, image.height());
    back.setColorAt(0, QColor(0xF4, 0xF7, 0xFC));
    back.setColorAt(0.6, Mix(QColor(0xE3, 0xEA, 0xF5), tint, 0.08));
    back.setColorAt(1, Mix(QColor(0xC9, 0xD6, 0xEA), tint, 0.15));
    p.fillRect(image.rect(), back);
    // faint diagonal lines
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    for (int x = -600; x < 500; x += 14)
        p.drawLine(x, image.height(), x + 600, 0);
    // a white box behind every step box, with a soft shadow
    for (const QRect& box : StepBoxes(steps)) {
        for (int s = 6; s > 0; --s) {
            QPainterPath shadow;
            shadow.addRoundedRect(
                QRectF(box).adjusted(-4 - s + 3, -4 - s + 5, 4 + s + 3, 4 + s + 5), 10 + s, 10 + s);
            p.fillPath(shadow, QColor(0x20, 0x30, 0x50, 7));
        }
        QPainterPath white;
        white.addRoundedRect(QRectF(box).adjusted(-4, -4, 4, 4), 9, 9);
        p.fillPath(white, Qt::white);
        p.setPen(QPen(QColor(0xD5, 0xDE, 0xEC), 1));
        p.drawPath(white);
    }
    p.drawImage(QPoint(0, 0), layer, PageArea);
    return image;
}

// ---------------------------------------------------------------- buttons

// Turns an antialiased drawing on transparent ground into an opaque picture
// on the transparent colour, with no fringe of that colour at the edges.
QImage OnKeyColour(const QImage& drawing, const QColor& key)
{
    QImage out(drawing.size(), QImage::Format_RGB32);
    const QImage src = drawing.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            o[x] = a < 110 ? key.rgb() : qRgb(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
            if (a >= 110 && o[x] == key.rgb())
                o[x] = qRgb(qRed(in[x]), qGreen(in[x]) ^ 1, qBlue(in[x]));
        }
    }
    return out;
}

const char* const States[] = {"up", "upfocus", "hot", "pressed", "down", "disabled"};

QImage ModeButton(int state)
{
    QImage drawing(110, 22, QImage::Format_ARGB32_Premultiplied);
    drawing.fill(Qt::transparent);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    QColor top = QColor(0x6F, 0x8F, 0xC6), bottom = Theme.darker(125);
    if (state == 2) {  // under the mouse
        top = QColor(0x8D, 0xAC, 0xE0);
        bottom = Theme;
    } else if (state == 3 || state == 4) {  // pressed, held down
        top = Theme.darker(140);
        bottom = QColor(0x5E, 0x7E, 0xB4);
    } else if (state == 5) {
        top = QColor(0xB4, 0xB4, 0xB4);
        bottom = QColor(0x84, 0x84, 0x84);
    }
    QLinearGradient fill(0, 0, 0, 22);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    QPainterPath pill;
    pill.addRoundedRect(QRectF(1, 1, 108, 20), 10, 10);
    p.fillPath(pill, fill);
    QLinearGradient gloss(0, 1, 0, 11);
    gloss.setColorAt(0, QColor(255, 255, 255, state == 3 || state == 4 ? 30 : 110));
    gloss.setColorAt(1, QColor(255, 255, 255, 10));
    QPainterPath upper;
    upper.addRoundedRect(QRectF(3, 2, 104, 9), 5, 5);
    p.fillPath(upper, gloss);
    p.setPen(QPen(state == 1 ? QColor(0xFF, 0xE0, 0x60) : QColor(255, 255, 255, 170),
                  state == 1 ? 1.6 : 1));
    p.drawPath(pill);
    return OnKeyColour(drawing, Olive);
}

QImage RoundButton(int state, bool ok)
{
    QImage drawing(142, 155, QImage::Format_ARGB32_Premultiplied);
    drawing.fill(Qt::transparent);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    const bool pressed = state == 3 || state == 4;
    const bool disabled = state == 5;
    const QPointF c(71, pressed ? 74 : 71);
    const double r = 62;
    QColor base = ok ? QColor(0x2F, 0x6F, 0xD0) : QColor(0xD0, 0x2F, 0x2F);
    if (state == 2)
        base = base.lighter(122);
    if (pressed)
        base = base.darker(118);
    if (disabled)
        base = QColor(0x9A, 0x9E, 0xA6);
    // shadow
    if (!pressed) {
        for (int s = 8; s > 0; --s) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 10));
            p.drawEllipse(c + QPointF(0, 8), r + s * 0.6, r + s * 0.4);
        }
    }
    // silver rim
    QLinearGradient rim(c.x(), c.y() - r, c.x(), c.y() + r);
    rim.setColorAt(0, QColor(0xF4, 0xF6, 0xFA));
    rim.setColorAt(1, QColor(0x9C, 0xA6, 0xB5));
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawEllipse(c, r, r);
    // body
    QRadialGradient body(c - QPointF(18, 24), r * 1.25);
    body.setColorAt(0, base.lighter(160));
    body.setColorAt(0.55, base);
    body.setColorAt(1, base.darker(160));
    p.setBrush(body);
    const double inner = r - 7;
    p.drawEllipse(c, inner, inner);
    // gloss
    QLinearGradient gloss(c.x(), c.y() - inner, c.x(), c.y());
    gloss.setColorAt(0, QColor(255, 255, 255, disabled ? 90 : 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - inner * 0.75, c.y() - inner * 0.93, inner * 1.5, inner * 0.95));
    // the sign
    QPen sign(disabled ? QColor(0xEE, 0xEE, 0xEE) : Qt::white, 15, Qt::SolidLine, Qt::RoundCap,
              Qt::RoundJoin);
    p.setPen(sign);
    p.setBrush(Qt::NoBrush);
    if (ok) {
        QPainterPath tick;
        tick.moveTo(c + QPointF(-25, 2));
        tick.lineTo(c + QPointF(-7, 20));
        tick.lineTo(c + QPointF(27, -18));
        p.drawPath(tick);
    } else {
        p.drawLine(c + QPointF(-21, -21), c + QPointF(21, 21));
        p.drawLine(c + QPointF(21, -21), c + QPointF(-21, 21));
    }
    if (state == 1) {  // focused: a dotted ring
        p.setPen(QPen(QColor(0xFF, 0xE0, 0x60), 2, Qt::DotLine));
        p.drawEllipse(c, r + 3, r + 3);
    }
    return OnKeyColour(drawing, Lime);
}

QImage ListArrow()
{
    QImage image(11, 7, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(0.5, 0.5);
    arrow.lineTo(10.5, 0.5);
    arrow.lineTo(5.5, 6.5);
    arrow.closeSubpath();
    p.fillPath(arrow, Theme);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: make_pictures OUTPUT_DIR" << Qt::endl;
        return 2;
    }
    g_Out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_Out);
    for (const char* font :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(font));

    bool ok = Save(Logo(), QStringLiteral("logo.jpg"), 95);
    ok &= Save(Icon(), QStringLiteral("icon32.png"));
    ok &= Save(ListArrow(), QStringLiteral("list_arrow.png"));

    const QImage audio = SceneLayer(AudioScene);
    const QImage video = SceneLayer(VideoScene);
    const QImage download = SceneLayer(DownloadScene);
    ok &= Save(PagePicture(audio, 4, Theme), QStringLiteral("page_audio.jpg"));
    ok &= Save(PagePicture(video, 4, QColor(0x9A, 0x7F, 0xC8)), QStringLiteral("page_video.jpg"));
    ok &= Save(PagePicture(download, 2, QColor(0x4F, 0xA8, 0x8C)),
               QStringLiteral("page_download.jpg"));
    ok &= Save(SidePicture(audio, QStringLiteral("Audio")), QStringLiteral("side_audio.jpg"));
    ok &= Save(SidePicture(video, QStringLiteral("Video")), QStringLiteral("side_video.jpg"));
    ok &= Save(SidePicture(download, QStringLiteral("Download")),
               QStringLiteral("side_download.jpg"));

    for (int s = 0; s < 6; ++s) {
        const QString state = QLatin1String(States[s]);
        ok &= Save(ModeButton(s), QStringLiteral("mode_button_%1.png").arg(state));
        ok &= Save(RoundButton(s, true), QStringLiteral("ok_button_%1.png").arg(state));
        ok &= Save(RoundButton(s, false), QStringLiteral("cancel_button_%1.png").arg(state));
    }
    return ok ? 0 : 1;
}
