#pragma once

// TAboutWindow: the small borderless window with the logo, the product text
// and a link to the maker's site, shown modally from the tray menu.

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TAboutWindow;
}

class TAboutWindow : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutWindow(QWidget* parent = nullptr);
    ~TAboutWindow() override;

    // Centres the window on the desktop and shows it modally; returns when
    // "Ok" has closed it.
    void ShowModal();
    void AboutOkBtnClick();
    // The address the link label opens.
    QString LinkTarget() const { return m_LinkTarget; }
    void UrlForHomeSiteClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CentreOnDesktop();

    std::unique_ptr<Ui::TAboutWindow> m_Ui;
    QString m_LinkTarget;
};

// The one About window, set while it exists.
extern TAboutWindow* AboutWindow;
