#pragma once

// When QUORVEX_SCREENSHOT_DIR is set, the program saves pictures of its three
// pages and of the About window there and ends (scripts/screenshot uses it).

class TMainWindow;
class TAboutWindow;

void StartScreenshotsIfAsked(TMainWindow& mainWindow, TAboutWindow& aboutWindow);
