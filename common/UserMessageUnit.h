#pragma once

// Every result and failure the program reports to its user goes through here:
// a modal box with one OK button, owned by the application's window. Tests
// install a handler instead, so that no box ever blocks them.

#include <functional>
#include <string>

#include "base/Version.h"

enum class TMessageKind
{
    Warning,
    Information
};

// The product's name and version, as the window's title and the About text
// begin (a literal, so that fixed texts can be joined with it).
#define QUORVEX_PRODUCT_TITLE "Quorvex - Media Converter " QUORVEX_VERSION

inline constexpr const char* ProductTitle = QUORVEX_PRODUCT_TITLE;
inline constexpr const char* ApplicationTitle = "Quorvex - Media Converter. Brimlow LLC";
inline constexpr const char* WarningTitle = QUORVEX_PRODUCT_TITLE " Warning Message";
inline constexpr const char* SuccessTitle = QUORVEX_PRODUCT_TITLE " Successfully Message";

// The texts the jobs report.
inline constexpr const char* MsgCannotCreate = "The Multimedia file(s) cannot be created.";
inline constexpr const char* MsgAudioConverted = "Audio file(s) has been successfully converted.";
inline constexpr const char* MsgVideoConverted = "Video file(s) has been successfully converted.";
inline constexpr const char* MsgDownloaded = "File has been successfully downloaded.";
inline constexpr const char* MsgInternetError = "Internet Connection Error.";

// Title of the box for a kind of message.
const char* MessageTitle(TMessageKind kind);

// Shows TEXT in a warning or information box (or hands it to the installed handler).
// DETAIL, when not empty, is the box's expandable detail text: what a person
// needs to know beyond the one-line result (which file failed and why, which
// setting was brought to the nearest value the format takes).
void ShowUserMessage(TMessageKind kind, const std::string& text, const std::string& detail = {});

// Receives every message instead of a box; an empty handler restores the boxes.
using TUserMessageHandler = std::function<void(TMessageKind kind, const std::string& title,
                                               const std::string& text, const std::string& detail)>;
void SetUserMessageHandler(TUserMessageHandler handler);

// Told of every message just before it is shown (or handed to the handler);
// the main window repeats a job's messages as a desktop notice while it is
// hidden or minimised. An empty observer removes it.
using TUserMessageObserver = std::function<void(TMessageKind kind, const std::string& text)>;
void SetUserMessageObserver(TUserMessageObserver observer);
