#include "ui/look_widgets.h"

#include <cmath>

#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

QFont FontFittingWidth(const QFont& font, const QString& text, int width)
{
    QFont fitted = font;
    const int designed = font.pixelSize();
    if (designed <= 0)
        return fitted;
    for (int pixels = designed; pixels >= (designed * 3 + 3) / 4; --pixels) {
        fitted.setPixelSize(pixels);
        if (QFontMetrics(fitted).horizontalAdvance(text) <= width)
            break;
    }
    return fitted;
}

void DrawFocusMark(QPainter& painter, const QRectF& area, qreal radius)
{
    // A white line under a dotted dark one: seen on light and dark ground.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRoundedRect(area, radius, radius);
    painter.setPen(QPen(Look::Focus, 1, Qt::DotLine));
    painter.drawRoundedRect(area, radius, radius);
    painter.restore();
}

// ---------------------------------------------------------------- TBackground

TBackground::TBackground(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TBackground::SetGradientTop(const QString& colour)
{
    m_Top = QColor(colour);
    update();
}

void TBackground::SetGradientBottom(const QString& colour)
{
    m_Bottom = QColor(colour);
    update();
}

void TBackground::SetPicture(const QString& resource)
{
    m_PictureName = resource;
    m_Picture = QPixmap(resource);
    update();
}

void TBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, m_Top);
    gradient.setColorAt(1, m_Bottom);
    painter.fillRect(rect(), gradient);
    if (!m_Picture.isNull()) {
        const QPoint at((width() - m_Picture.width()) / 2, (height() - m_Picture.height()) / 2);
        painter.drawPixmap(at, m_Picture);
    }
}

// ---------------------------------------------------------------- TStepBox

TStepBox::TStepBox(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void TStepBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_Gradient) {
        QLinearGradient wash(box.topLeft(), box.bottomRight());
        QColor white(Qt::white);
        white.setAlpha(200);
        QColor cream = Look::Cream;
        cream.setAlpha(235);
        wash.setColorAt(0, white);
        wash.setColorAt(0.55, cream);
        wash.setColorAt(1, QColor(0xF2, 0xEA, 0xD6, 235));
        painter.fillRect(box, wash);
        painter.setPen(QPen(Look::Cream, 2));
        painter.drawRect(box.adjusted(2, 2, -2, -2));
    }
    painter.setPen(QPen(Look::Theme, 1));
    painter.drawRect(box);
}

// ---------------------------------------------------------------- TImageButton

namespace {

const char* const StateNames[TImageButton::StateCount] = {"up",      "upfocus", "hot",
                                                          "pressed", "down",    "disabled"};

// One picture with every pixel of the transparent colour made transparent.
QPixmap MaskedPicture(const QString& file, const QColor& transparent)
{
    static QHash<QString, QPixmap> cache;
    const QString key = file + QLatin1Char('|') + transparent.name();
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QImage image(file);
    if (!image.isNull()) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb clear = transparent.rgb() & 0xFFFFFF;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == clear)
                    line[x] = 0;
            }
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace

TImageButton::TImageButton(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

const char* TImageButton::StateName(TState state)
{
    return state >= 0 && state < StateCount ? StateNames[state] : "";
}

void TImageButton::SetImages(const QString& prefix)
{
    m_Images = prefix;
    LoadPictures();
}

void TImageButton::SetTransparentColor(const QString& colour)
{
    m_Transparent = QColor(colour);
    LoadPictures();
}

void TImageButton::SetCaptionColor(const QString& colour)
{
    m_Caption = QColor(colour);
    update();
}

void TImageButton::LoadPictures()
{
    for (int s = 0; s < StateCount; ++s) {
        m_Pictures[s] = m_Images.isEmpty() ? QPixmap()
                                           : MaskedPicture(m_Images + QLatin1Char('_') +
                                                               QLatin1String(StateNames[s]) +
                                                               QLatin1String(".png"),
                                                           m_Transparent);
    }
    update();
}

TImageButton::TState TImageButton::CurrentState() const
{
    if (!isEnabled())
        return Disabled;
    if (isDown())
        return Pressed;
    if (isChecked())
        return HeldDown;
    if (m_Hot)
        return Hot;
    if (hasFocus())
        return UpFocused;
    return Up;
}

void TImageButton::enterEvent(QEnterEvent* event)
{
    m_Hot = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TImageButton::leaveEvent(QEvent* event)
{
    m_Hot = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap& picture = m_Pictures[CurrentState()];
    if (!picture.isNull())
        painter.drawPixmap(rect(), picture);
    if (!text().isEmpty()) {
        // The caption stays inside the picture's rounded ends.
        painter.setFont(FontFittingWidth(font(), text(), width() - height() / 2));
        painter.setPen(isEnabled() ? m_Caption : m_Caption.darker(140));
        QRect area = rect();
        if (isDown())
            area.translate(1, 1);
        painter.drawText(area, Qt::AlignCenter, text());
    }
    if (hasFocus())
        DrawFocusMark(painter, QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), height() / 4.0);
}

// ---------------------------------------------------------------- TProgressLine

TProgressLine::TProgressLine(QWidget* parent) : QProgressBar(parent), m_Timer(new QTimer(this))
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    m_Timer->setInterval(40);
    connect(m_Timer, &QTimer::timeout, this, [this] {
        m_Phase = (m_Phase + 1) % 100;
        update();
    });
}

void TProgressLine::SetBusy(bool busy)
{
    if (busy == m_Busy)
        return;
    m_Busy = busy;
    m_Phase = 0;
    if (busy)
        m_Timer->start();
    else
        m_Timer->stop();
    update();
}

void TProgressLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect frame = rect();
    painter.fillRect(frame, Qt::white);
    const QRect inside = frame.adjusted(1, 1, -1, -1);
    QLinearGradient fill(inside.topLeft(), inside.bottomLeft());
    fill.setColorAt(0, Look::Theme);
    fill.setColorAt(1, Look::SkyBlue);
    if (m_Busy) {
        // A block of a fifth of the width swings from side to side.
        const int block = inside.width() / 5;
        const double t = m_Phase / 100.0;
        const double swing = t < 0.5 ? t * 2 : (1 - t) * 2;
        const int left = inside.left() + int((inside.width() - block) * swing);
        painter.fillRect(QRect(left, inside.top(), block, inside.height()), fill);
    } else {
        const int span = maximum() - minimum();
        const int done = span > 0 ? int(qint64(inside.width()) * (value() - minimum()) / span) : 0;
        const QRect filled(inside.left(), inside.top(), done, inside.height());
        painter.fillRect(filled, fill);
        // The percentage in the theme colour, white where it lies on the bar.
        const QString percent = QStringLiteral("%1%").arg(value());
        painter.setFont(font());
        painter.setClipRect(inside.adjusted(done, 0, 0, 0));
        painter.setPen(Look::Theme);
        painter.drawText(inside, Qt::AlignCenter, percent);
        painter.setClipRect(filled);
        painter.setPen(Qt::white);
        painter.drawText(inside, Qt::AlignCenter, percent);
        painter.setClipping(false);
    }
    painter.setPen(QPen(Look::Silver, 1));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

// ---------------------------------------------------------------- TLineBreakLabel

TLineBreakLabel::TLineBreakLabel(QWidget* parent) : QLabel(parent) {}

QString TLineBreakLabel::DisplayText(const QString& caption)
{
    // Captions break their lines with LF CR (or CR LF); each pair is one break.
    QString text = caption;
    text.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void TLineBreakLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    int flags = int(alignment());
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    painter.drawText(contentsRect(), flags, DisplayText(text()));
}

// ---------------------------------------------------------------- TPicture

TPicture::TPicture(QWidget* parent) : QLabel(parent) {}

void TPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), pixmap());
}
