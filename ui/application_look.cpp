#include "ui/application_look.h"

#include <cmath>

#include <QFile>
#include <QFontDatabase>

// Resources of a static library are registered by name.
static void InitPictureResources()
{
    Q_INIT_RESOURCE(pictures);
}

void InitApplicationLook()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    InitPictureResources();
    // Debian's fonts-wine keeps these outside fontconfig's paths.
    static const char* const fonts[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                        "/usr/share/wine/fonts/tahomabd.ttf",
                                        "/usr/share/wine/fonts/ms_sans_serif.ttf"};
    for (const char* file : fonts) {
        if (QFile::exists(QString::fromLatin1(file)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
}

int BaseTextHeightFor(int logicalDpi)
{
    return int(std::lround(13.0 * logicalDpi / 96.0));
}

double DesignScaleFor(int logicalDpi)
{
    return BaseTextHeightFor(logicalDpi > 0 ? logicalDpi : 96) / 16.0;
}

QFont DesignFont(const QString& family, int pixels)
{
    QFont font(family);
    font.setPixelSize(std::max(1, pixels));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QIcon ApplicationIcon()
{
    return QIcon(QStringLiteral(":/pictures/icon32.png"));
}
