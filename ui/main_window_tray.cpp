#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QSystemTrayIcon>
#include <QTimer>

#include "common/UserMessageUnit.h"
#include "ui/about_window.h"
#include "ui/desktop_notice.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui_main_window.h"

// The tray icon and its menu, showing and hiding the window, the desktop
// notice while the window is away, and the window events that run the page
// show handlers.

void TMainWindow::ShowMainWindow()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    setVisible(true);
    show();
    raise();
    activateWindow();
}

void TMainWindow::RzTrayIcon1LButtonDblClick()
{
    ShowMainWindow();
}

void TMainWindow::PopupMenuShelBtn1Click()
{
    ShowMainWindow();
}

void TMainWindow::PopupMenuShelBtn2Click()
{
    hide();
}

void TMainWindow::PopupMenuShelBtn4Click()
{
    if (m_AboutWindow)
        m_AboutWindow->ShowModal();
}

void TMainWindow::PopupMenuShelBtn5Click()
{
    EndProgram();
}

bool TMainWindow::IsAway() const
{
    return !isVisible() || isMinimized();
}

void TMainWindow::NoticeWhenAway(TMessageKind kind, const std::string& text)
{
    // Every message of a job waits for its box to be answered, so each one
    // is worth a notice when nobody is looking at the window.
    if (!IsJobRunning() || !IsAway())
        return;
    ShowDesktopNotice(m_RzTrayIcon1, QString::fromUtf8(MessageTitle(kind)), ToQ(text),
                      kind == TMessageKind::Warning);
}

bool TMainWindow::TrayShown() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && m_RzTrayIcon1->isVisible();
}

void TMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayShown()) {
        // Off the taskbar: the tray icon brings the window back. Without a
        // tray the window stays on the taskbar, or it could not be reached.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        if (watched == m_Ui->TabSheet1)
            TabSheet1Show();
        else if (watched == m_Ui->TabSheet2)
            TabSheet2Show();
        else if (watched == m_Ui->TabSheet3)
            TabSheet3Show();
    } else if (event->type() == QEvent::KeyPress && qobject_cast<QComboBox*>(watched)) {
        // Enter in a list moves on to the next control.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
