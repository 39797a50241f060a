// Whether a finished file is recognised from its content and name alone, as
// players and other programs open it. The output check reads a file back with
// the demuxer that belongs to its muxer; a raw stream of a few frames (a
// couple of AC-3 frames from a cut-off input) reads back that way, yet nothing
// that guesses the format opens it, so it is no usable result.
#pragma once

#include <string>

// False with the reason (one line, without the file's name) when the file at
// path, called name (the name it will have, as its extension counts; empty:
// path), is not recognised as media, or, when demuxer is given, is taken for
// another format (a stray guess finds no streams in it).
bool RecognisedWithoutHint(const std::string& path, const std::string& name,
                           const std::string& demuxer, std::string& reason);
