#pragma once

// The file descriptors the service may open. Every connection, fetch,
// worker thread and child process takes some; running out must make the
// service turn work away, never stop it (the event loop's libraries abort
// the process when a new thread finds no descriptor left).

// Raises the soft limit of open files to the hard one (bounded), as a
// desktop session starts programs with a low soft limit.
void RaiseOpenFileLimit();

// How many files the process may open.
int OpenFileLimit();

// How many more it may open now.
int FreeDescriptors();
