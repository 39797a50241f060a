#include "common/UserMessageUnit.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace {

TUserMessageHandler& Handler()
{
    static TUserMessageHandler handler;
    return handler;
}

TUserMessageObserver& Observer()
{
    static TUserMessageObserver observer;
    return observer;
}

QWidget* OwnerWindow()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->inherits("QMainWindow"))
            return w;
    }
    return nullptr;
}

}  // namespace

const char* MessageTitle(TMessageKind kind)
{
    return kind == TMessageKind::Warning ? WarningTitle : SuccessTitle;
}

void ShowUserMessage(TMessageKind kind, const std::string& text, const std::string& detail)
{
    const char* title = MessageTitle(kind);
    if (Observer())
        Observer()(kind, text);
    if (Handler()) {
        Handler()(kind, title, text, detail);
        return;
    }
    QMessageBox box(kind == TMessageKind::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromUtf8(title), QString::fromUtf8(text), QMessageBox::Ok,
                    OwnerWindow());
    if (!detail.empty())
        box.setDetailedText(QString::fromUtf8(detail));
    box.exec();
}

void SetUserMessageHandler(TUserMessageHandler handler)
{
    Handler() = std::move(handler);
}

void SetUserMessageObserver(TUserMessageObserver observer)
{
    Observer() = std::move(observer);
}
