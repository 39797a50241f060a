#pragma once

// What both windows share of their look: the fonts, the pictures, the icon
// and the scale of the 120-dpi design values.

#include <QFont>
#include <QIcon>
#include <QString>

// Registers the pictures and the Tahoma and MS Sans Serif fonts once; safe to
// call again. Missing font files leave Qt's nearest match in their place.
void InitApplicationLook();

// The windows were designed at 120 dpi, where the base font (MS Sans Serif
// 8 pt) is 16 pixels high; at 96 dpi it is 13. The scale is that text height
// on this screen, round(13 * dpi / 96), over 16: 13/16 at 96 dpi.
int BaseTextHeightFor(int logicalDpi);
double DesignScaleFor(int logicalDpi);

// A font of PIXELS character height (the design's "Height").
QFont DesignFont(const QString& family, int pixels);

// The program's 32 x 32 icon.
QIcon ApplicationIcon();
