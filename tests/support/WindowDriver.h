#pragma once

// Drives the main window the way a user does, for the window tests and the
// benchmarks.

#include <functional>

#include <QAbstractButton>
#include <QStringList>
#include <QTimer>

#include "ui/main_window.h"

// Runs ACTION once, at the first served event after CONDITION holds: from
// inside a running job's own event processing.
inline void WhenTrue(QObject* owner, std::function<bool()> condition, std::function<void()> action)
{
    auto* timer = new QTimer(owner);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, condition, action] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

inline QAbstractButton* WindowButton(const TMainWindow& window, const char* name)
{
    return window.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

// Chooses the page, the input files, the destination folder and the format;
// true when OK is then ready to be clicked.
inline bool PrepareConversion(TMainWindow& window, TPage page, const QStringList& files,
                              const QString& folder, const char* format)
{
    if (page == TPage::Audio)
        window.AudioBtnClick();
    else
        window.VideoBtnClick();
    TStringList inputs;
    for (const QString& f : files)
        inputs.push_back(f.toStdString());
    window.SetInputFiles(page, inputs);
    window.SetDestinationFolder(page, folder.toStdString());
    const char* list = page == TPage::Audio ? "AudioFormatsForOutput" : "VideoFormatsForOutput";
    return window.SelectListItem(list, format) && WindowButton(window, "ProcessOkBtn")->isEnabled();
}
