#include "ui/path_field.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

TPathField::TPathField(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        setToolTip(text);
        update();
    });
}

QString TPathField::ShownText() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect area = style()
                           ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                           .marginsRemoved(textMargins());
    // The few pixels QLineEdit keeps free beside its text.
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width() - 4);
}

void TPathField::paintEvent(QPaintEvent* event)
{
    const QString shown = ShownText();
    if (hasFocus() || shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    const QRect area = style()
                           ->subElementRect(QStyle::SE_LineEditContents, &option, this)
                           .marginsRemoved(textMargins());
    painter.setFont(font());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(area.adjusted(2, 0, -2, 0), int(Qt::AlignLeft | Qt::AlignVCenter), shown);
}

void TPathField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // Entering the field does not select the path.
    deselect();
}
