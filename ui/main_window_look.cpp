#include <cmath>

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>

#include "ui/application_look.h"
#include "ui/look_widgets.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

// The window's look: the 120-dpi design scaled to this screen, the fonts and
// colours of each kind of component, and labels fitted to their texts.

namespace {

// The window's design values are 120-dpi pixels.
constexpr int DesignClientWidth = 791;
constexpr int DesignClientHeight = 729;

}  // namespace

void TMainWindow::ScaleDesign()
{
    // Every position and size of the design is multiplied by the scale and
    // rounded; pictures keep their own size. Widgets that Qt lays out itself
    // (the pages inside the page control, scroll bars, ...) are left alone.
    const auto scaled = [this](int v) { return int(std::lround(v * m_Scale)); };
    const QList<QWidget*> widgets = m_Ui->centralwidget->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->isWindow() || w->objectName().isEmpty() ||
            w->objectName().startsWith(QLatin1String("qt_")) ||
            qobject_cast<QStackedWidget*>(w->parentWidget()))
            continue;
        const QRect g = w->geometry();
        QSize size(scaled(g.width()), scaled(g.height()));
        if (w->property("look").toString() == QLatin1String("picture")) {
            if (auto* picture = qobject_cast<QLabel*>(w); picture && !picture->pixmap().isNull())
                size = picture->pixmap().size();
        }
        w->setGeometry(QRect(QPoint(scaled(g.x()), scaled(g.y())), size));
    }
    m_Ui->DataControl->SetScale(m_Scale);
    setFixedSize(scaled(DesignClientWidth), scaled(DesignClientHeight));
}

void TMainWindow::ApplyLook()
{
    const auto px = [this](int v) { return int(std::lround(v * m_Scale)); };
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), px(14)));
    const QString theme = Look::Theme.name();

    // Collected first: replacing a list's popup view deletes widgets.
    QList<QPair<QWidget*, QString>> looks;
    for (QWidget* w : m_Ui->centralwidget->findChildren<QWidget*>()) {
        const QString look = w->property("look").toString();
        if (!look.isEmpty())
            looks.append({w, look});
    }
    for (const auto& [w, look] : looks) {
        QPalette palette = w->palette();
        const auto textColour = [&](const QColor& c) {
            palette.setColor(QPalette::WindowText, c);
            palette.setColor(QPalette::Text, c);
            w->setPalette(palette);
        };
        if (look == QLatin1String("stepNumber")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(28)));
            textColour(Look::Grey);
        } else if (look == QLatin1String("stepTitle")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            textColour(Look::Theme);
        } else if (look == QLatin1String("settingLabel")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(15)));
            textColour(Look::Grey);
        } else if (look == QLatin1String("pushButton")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            w->setCursor(Qt::PointingHandCursor);
        } else if (look == QLatin1String("formatList") || look == QLatin1String("settingsList")) {
            const bool format = look == QLatin1String("formatList");
            auto* list = static_cast<QComboBox*>(w);
            list->setView(new QListView(list));
            list->setFont(DesignFont(QStringLiteral("Tahoma"), px(format ? 18 : 15)));
            list->view()->setFont(list->font());
            list->setStyleSheet(
                QStringLiteral("QComboBox { border: 1px solid %1; background: white; color: black;"
                               " padding-left: %2px; }"
                               "QComboBox:disabled { color: #808080; }"
                               "QComboBox:focus { border: 2px solid %5; }"
                               "QComboBox::drop-down { border-left: 1px solid %1; width: %3px;"
                               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                               " stop:0 #ffffff, stop:1 #c9d5e8); }"
                               "QComboBox::down-arrow { image: url(:/pictures/list_arrow.png); }"
                               "QComboBox QAbstractItemView { border: 1px solid %1;"
                               " selection-background-color: %1; selection-color: white;"
                               " background: white; outline: 0; }"
                               "QComboBox QAbstractItemView::item { min-height: %4px; }")
                    .arg(theme)
                    .arg(px(4))
                    .arg(px(format ? 22 : 20))
                    .arg(px(format ? 22 : 18))
                    .arg(Look::Focus.name()));
            list->installEventFilter(this);
        } else if (look == QLatin1String("pathField")) {
            QFont f = DesignFont(QStringLiteral("Tahoma"), px(18));
            f.setBold(true);
            w->setFont(f);
            w->setStyleSheet(
                QStringLiteral(
                    "QLineEdit { background: transparent; border: none; color: #808080; }"
                    "QLineEdit:focus { border: 1px dotted %1; }")
                    .arg(Look::Focus.name()));
        } else if (look == QLatin1String("fileCount")) {
            QFont f = DesignFont(QStringLiteral("Tahoma"), px(18));
            f.setBold(true);
            w->setFont(f);
            textColour(Look::Grey);
        } else if (look == QLatin1String("linkField")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            w->setAttribute(Qt::WA_Hover);
            w->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid %1; background: white;"
                                            " color: black; padding-left: %2px; }"
                                            "QLineEdit:hover { border: 1px solid #7fa3dc; }"
                                            "QLineEdit:focus { border: 2px solid %3; }")
                                 .arg(theme)
                                 .arg(px(3))
                                 .arg(Look::Focus.name()));
        } else if (look == QLatin1String("whitePanel")) {
            w->setAutoFillBackground(true);
            palette.setColor(QPalette::Window, Qt::white);
            w->setPalette(palette);
        } else if (look == QLatin1String("progressText")) {
            QFont f = DesignFont(QStringLiteral("Tahoma"), px(16));
            f.setBold(true);
            w->setFont(f);
            textColour(Qt::white);
        } else if (look == QLatin1String("progressPanel")) {
            w->setStyleSheet(
                QStringLiteral("QFrame#FormPanel { background: %1; border: 1px solid %2;"
                               " border-radius: %3px; }")
                    .arg(theme, Look::Theme.darker(130).name())
                    .arg(px(10)));
        }
    }

    for (TImageButton* mode : {m_Ui->AudioBtn, m_Ui->VideoBtn, m_Ui->DownloadBtn}) {
        mode->setFont(DesignFont(QStringLiteral("Tahoma"), px(25)));
    }
    QFont progress = DesignFont(QStringLiteral("Tahoma"), px(18));
    progress.setBold(true);
    m_Ui->ProgressLine->setFont(progress);
}

void TMainWindow::FitLabelBeforeNeighbour(QLabel* label)
{
    // Sized to its text, but a list that stands to its right on the same
    // line must not cover the text's end: the font gives a little instead.
    label->adjustSize();
    int room = -1;
    for (QWidget* sibling :
         label->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect g = sibling->geometry();
        if (sibling == label || g.left() <= label->x() || g.top() >= label->geometry().bottom() ||
            g.bottom() <= label->y())
            continue;
        const int space = g.left() - label->x() - int(std::lround(4 * m_Scale));
        room = room < 0 ? space : std::min(room, space);
    }
    if (room > 0 && label->width() > room) {
        label->setFont(FontFittingWidth(label->font(), label->text(), room));
        label->adjustSize();
    }
}

void TMainWindow::FitFileCountLabel(QLabel* label)
{
    // Right-aligned: the right edge stays where the design puts it, the text
    // grows to the left.
    if (!label->property("designRight").isValid())
        label->setProperty("designRight", label->geometry().right());
    const int right = label->property("designRight").toInt();
    const int width = std::max(label->fontMetrics().horizontalAdvance(label->text()) + 2,
                               int(std::lround(97 * m_Scale)));
    label->setGeometry(right - width + 1, label->y(), width, label->height());
}
