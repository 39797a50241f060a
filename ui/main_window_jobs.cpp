#include <exception>

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "ui/main_window.h"
#include "ui/progress_panel.h"
#include "ui_main_window.h"

// OK and Cancel: the stop flag, the lock, and the rule that no second job
// starts while one is still on the stack.

namespace {

TMainWindow::TJobOverride& JobOverride()
{
    static TMainWindow::TJobOverride job;
    return job;
}

}  // namespace

void TMainWindow::SetJobOverride(TJobOverride job)
{
    JobOverride() = std::move(job);
}

void TMainWindow::ProcessOkBtnClick()
{
    if (IsJobRunning())
        return;  // a job is still winding down below us
    m_StopProcess = false;
    SetLockAudioPanel();
    const int page = m_Ui->DataControl->currentIndex();
    ++m_JobDepth;
    try {
        if (JobOverride())
            JobOverride()(*this, page);
        else if (page == 0)
            AudioConvertProcess();
        else if (page == 1)
            VideoConvertProcess();
        else if (page == 2)
            DownloadProcess();
    } catch (const std::exception& error) {
        // The job's final unlock has not happened: the window stays locked
        // with Cancel enabled, and Cancel unlocks it.
        --m_JobDepth;
        QMessageBox::critical(this, qApp->property("applicationTitle").toString(),
                              QString::fromUtf8(error.what()));
        ++m_JobDepth;
    }
    --m_JobDepth;
    m_Ui->ProcessOkBtn->setEnabled(m_OkWanted);
    if (m_EndAfterJob)
        EndProgram();
}

void TMainWindow::ProcessCancelBtnClick()
{
    m_StopProcess = true;
    SetUnLockAudioPanel();
}

void TMainWindow::SetLockAudioPanel()
{
    m_ProgressPanel->Start();
    SetProgress(0);
    m_Ui->FormPanel->show();
    SetOkEnabled(false);
    m_Ui->ProcessCancelBtn->setEnabled(true);
    m_Ui->DataControl->setEnabled(false);
    m_Ui->Panel1->setEnabled(false);
}

void TMainWindow::SetUnLockAudioPanel()
{
    SetProgress(100);
    SetOkEnabled(true);
    m_Ui->ProcessCancelBtn->setEnabled(false);
    m_Ui->DataControl->setEnabled(true);
    m_Ui->Panel1->setEnabled(true);
    m_Ui->FormPanel->hide();
    m_ProgressPanel->Stop();
}

void TMainWindow::FormClose()
{
    // Nothing to clean up: the tool file stays for the next start.
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    if (IsJobRunning()) {
        // The job runs to its end with its closing message, then we end.
        m_EndAfterJob = true;
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    emit EndRequested();
}

void TMainWindow::EndProgram()
{
    if (IsJobRunning()) {
        m_EndAfterJob = true;
        return;
    }
    m_EndAfterJob = false;
    m_RzTrayIcon1->hide();
    close();
}
