#include "ui/page_control.h"

#include <cmath>

#include <QCursor>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QStyleOptionTab>

#include "ui/look_widgets.h"

namespace {

int Scaled(double scale, int value)
{
    return int(std::lround(value * scale));
}

// Design values of the page control, in 120-dpi pixels.
constexpr int TabWidth = 120;
constexpr int TabHeight = 20;
constexpr int TabGap = 8;
constexpr int TabsTop = 150;  // the tabs start below the logo
constexpr int PageWidth = 586;
constexpr int PageHeight = 688;

}  // namespace

// ---------------------------------------------------------------- TPageTabBar

TPageTabBar::TPageTabBar(QWidget* parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
}

void TPageTabBar::SetScale(double scale)
{
    m_Scale = scale;
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(Scaled(scale, 18));
    setFont(f);
    updateGeometry();
}

QSize TPageTabBar::tabSizeHint(int) const
{
    return {Scaled(m_Scale, TabWidth), Scaled(m_Scale, TabHeight + TabGap)};
}

QRect TPageTabBar::TabShape(int index) const
{
    const QRect slot = tabRect(index);
    return {slot.left(), slot.top(), slot.width(), Scaled(m_Scale, TabHeight)};
}

void TPageTabBar::mousePressEvent(QMouseEvent* event)
{
    // The gap between two tabs belongs to neither.
    const int index = tabAt(event->position().toPoint());
    if (index >= 0 && !TabShape(index).contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    QTabBar::mousePressEvent(event);
}

void TPageTabBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    const qreal radius = 6 * m_Scale;
    for (int i = 0; i < count(); ++i) {
        const QRectF shape = QRectF(TabShape(i)).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool selected = i == currentIndex();
        const bool hot = underMouse() && TabShape(i).contains(mouse);
        QPainterPath path;
        path.addRoundedRect(shape, radius, radius);
        if (selected) {
            painter.fillPath(path, Qt::white);
        } else {
            QLinearGradient fill(shape.topLeft(), shape.bottomLeft());
            QColor light = Look::Theme;
            light.setAlpha(70);
            QColor dark = Look::Theme;
            dark.setAlpha(130);
            fill.setColorAt(0, light);
            fill.setColorAt(1, dark);
            painter.fillPath(path, fill);
        }
        painter.setPen(QPen(Look::Theme, 1));
        painter.drawPath(path);
        QFont f = font();
        f.setBold(selected);
        // The bold caption of the selected tab must not run over its ends.
        painter.setFont(FontFittingWidth(f, tabText(i), TabShape(i).width() - Scaled(m_Scale, 8)));
        painter.setPen(selected || hot ? Look::Theme : Qt::black);
        if (!isEnabled())
            painter.setPen(Look::Grey);
        painter.drawText(shape, Qt::AlignCenter | Qt::TextDontClip, tabText(i));
        if (selected && hasFocus())
            DrawFocusMark(painter, shape.adjusted(2, 2, -2, -2), radius / 2);
    }
}

void TPageTabBar::keyPressEvent(QKeyEvent* event)
{
    // The tabs stand one under the other: Up and Down move between them.
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        const int next = currentIndex() + (event->key() == Qt::Key_Down ? 1 : -1);
        if (next >= 0 && next < count())
            setCurrentIndex(next);
        event->accept();
        return;
    }
    QTabBar::keyPressEvent(event);
}

// ---------------------------------------------------------------- TPageControl

class TPageControlStyle : public QProxyStyle
{
public:
    explicit TPageControlStyle(TPageControl* owner) : m_Owner(owner) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override
    {
        if (widget == m_Owner) {
            switch (element) {
                case SE_TabWidgetTabBar:
                    return m_Owner->TabColumnRect();
                case SE_TabWidgetTabPane:
                case SE_TabWidgetTabContents:
                    return m_Owner->PageRect();
                default:
                    break;
            }
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        // The pane is transparent: the pages draw their own backgrounds.
        if (element == PE_FrameTabWidget && widget == m_Owner)
            return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    TPageControl* m_Owner;
};

TPageControl::TPageControl(QWidget* parent)
    : QTabWidget(parent), m_TabBar(new TPageTabBar(this)), m_Style(new TPageControlStyle(this))
{
    setTabBar(m_TabBar);
    setTabPosition(QTabWidget::West);
    setDocumentMode(false);
    setStyle(m_Style);
    SetScale(1.0);
}

TPageControl::~TPageControl()
{
    setStyle(nullptr);
    delete m_Style;
}

void TPageControl::SetScale(double scale)
{
    m_Scale = scale;
    m_TabBar->SetScale(scale);
    // Let QTabWidget lay out tab bar and pages again.
    QResizeEvent event(size(), size());
    resizeEvent(&event);
}

QRect TPageControl::PageRect() const
{
    const int w = Scaled(m_Scale, PageWidth);
    const int h = Scaled(m_Scale, PageHeight);
    return {width() - w - 1, 1, w, h};
}

QRect TPageControl::TabColumnRect() const
{
    const int n = std::max(1, count());
    return {0, Scaled(m_Scale, TabsTop), Scaled(m_Scale, TabWidth),
            n * Scaled(m_Scale, TabHeight + TabGap)};
}
