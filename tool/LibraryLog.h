// The FFmpeg libraries' own messages (errors only) on the tool's console,
// one line each.
#pragma once

// Routes the libraries' messages to the console.
void InstallLibraryLog();

// While held, messages are kept back (up to 16 kB) and written in one block
// when the hold ends, so that the input block with its duration line is the
// first thing a reader sees.
void HoldLibraryLog(bool hold);
