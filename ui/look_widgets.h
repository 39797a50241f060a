#pragma once

// The small painting widgets the windows are built from: gradient
// backgrounds with a centred picture, the step boxes, the six-state image
// buttons and the progress bar (the page control is in page_control.h).

#include <QAbstractButton>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QString>
#include <QWidget>

#include "ui/page_control.h"

class QPainter;
class QTimer;

// The colours the windows share.
namespace Look {
inline const QColor Theme(0x49, 0x67, 0x99);
inline const QColor Grey(0x80, 0x80, 0x80);
inline const QColor Cream(0xFF, 0xFB, 0xF0);
inline const QColor SkyBlue(0xA6, 0xCA, 0xF0);
inline const QColor Silver(0xC0, 0xC0, 0xC0);
inline const QColor Yellow(0xFF, 0xFF, 0x00);
// The mark of the control that has the keyboard focus.
inline const QColor Focus(0x1F, 0x33, 0x55);
}  // namespace Look

// FONT, or the same font a few pixels smaller, so that TEXT fits into WIDTH
// pixels; never smaller than three quarters of the font's own size.
QFont FontFittingWidth(const QFont& font, const QString& text, int width);

// The mark around a control that has the keyboard focus.
void DrawFocusMark(QPainter& painter, const QRectF& area, qreal radius);

// A gradient in horizontal bands from top to bottom colour, with an optional
// picture drawn unscaled in the centre.
class TBackground : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString gradientTop READ GradientTop WRITE SetGradientTop)
    Q_PROPERTY(QString gradientBottom READ GradientBottom WRITE SetGradientBottom)
    Q_PROPERTY(QString picture READ Picture WRITE SetPicture)

public:
    explicit TBackground(QWidget* parent = nullptr);

    QString GradientTop() const { return m_Top.name(); }
    void SetGradientTop(const QString& colour);
    QString GradientBottom() const { return m_Bottom.name(); }
    void SetGradientBottom(const QString& colour);
    QString Picture() const { return m_PictureName; }
    void SetPicture(const QString& resource);
    const QPixmap& PicturePixmap() const { return m_Picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_Top{Qt::white};
    QColor m_Bottom{0xE4, 0xEA, 0xF3};
    QString m_PictureName;
    QPixmap m_Picture;
};

// A numbered step box: a frame in the theme colour; in gradient style also a
// diagonal white-to-cream wash and a cream inner border.
class TStepBox : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(bool gradientStyle READ GradientStyle WRITE SetGradientStyle)

public:
    explicit TStepBox(QWidget* parent = nullptr);
    bool GradientStyle() const { return m_Gradient; }
    void SetGradientStyle(bool on)
    {
        m_Gradient = on;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_Gradient = false;
};

// A button drawn from six state pictures (up, up and focused, under the
// mouse, pressed, held down, disabled), in which one colour is transparent,
// with an optional caption over them.
class TImageButton : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(QString images READ Images WRITE SetImages)
    Q_PROPERTY(QString transparentColor READ TransparentColor WRITE SetTransparentColor)
    Q_PROPERTY(QString captionColor READ CaptionColor WRITE SetCaptionColor)

public:
    enum TState
    {
        Up,
        UpFocused,
        Hot,
        Pressed,
        HeldDown,
        Disabled,
        StateCount
    };

    explicit TImageButton(QWidget* parent = nullptr);

    // Resource prefix; the pictures are PREFIX_up.png ... PREFIX_disabled.png.
    QString Images() const { return m_Images; }
    void SetImages(const QString& prefix);
    QString TransparentColor() const { return m_Transparent.name(); }
    void SetTransparentColor(const QString& colour);
    QString CaptionColor() const { return m_Caption.name(); }
    void SetCaptionColor(const QString& colour);
    QColor CaptionQColor() const { return m_Caption; }

    TState CurrentState() const;
    static const char* StateName(TState state);

    QSize sizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void LoadPictures();

    QString m_Images;
    QColor m_Transparent{0x80, 0x80, 0x00};
    QColor m_Caption{Qt::white};
    QPixmap m_Pictures[StateCount];
    bool m_Hot = false;
};

// ProgressLine: white ground, silver border, the filled part a vertical
// gradient from the theme colour to sky blue, the percentage in the middle.
// In busy state a block runs to and fro instead.
class TProgressLine : public QProgressBar
{
    Q_OBJECT

public:
    explicit TProgressLine(QWidget* parent = nullptr);
    void SetBusy(bool busy);
    bool IsBusy() const { return m_Busy; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_Busy = false;
    int m_Phase = 0;
    QTimer* m_Timer;
};

// A label whose caption breaks lines with the pair LF CR: the caption keeps
// the pair, the label shows one line break for it.
class TLineBreakLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TLineBreakLabel(QWidget* parent = nullptr);
    static QString DisplayText(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A picture at its own size. Unlike a plain label it is not greyed out when
// its panel is disabled.
class TPicture : public QLabel
{
    Q_OBJECT

public:
    explicit TPicture(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
