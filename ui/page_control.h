#pragma once

// DataControl, the page control: its pages fill a fixed area on the right,
// and its tabs stand down the left edge below the logo.

#include <QRect>
#include <QSize>
#include <QTabBar>
#include <QTabWidget>

// Tabs down the left edge, drawn with horizontal text, starting below the logo.
class TPageTabBar : public QTabBar
{
    Q_OBJECT

public:
    explicit TPageTabBar(QWidget* parent = nullptr);
    void SetScale(double scale);
    // The tab's visible shape inside its slot.
    QRect TabShape(int index) const;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double m_Scale = 1.0;
};

// DataControl: a page control whose pages fill a fixed area on the right of
// the tab column, transparent over the window's background.
class TPageControl : public QTabWidget
{
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);
    ~TPageControl() override;

    // Scales tab and page sizes given in 120-dpi design pixels.
    void SetScale(double scale);
    double Scale() const { return m_Scale; }
    TPageTabBar* PageTabBar() const { return m_TabBar; }
    // Page area and tab column, in this widget's coordinates.
    QRect PageRect() const;
    QRect TabColumnRect() const;

private:
    double m_Scale = 1.0;
    TPageTabBar* m_TabBar;
    class TPageControlStyle* m_Style;
};
