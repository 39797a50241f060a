// The containers the output's extension chooses and the codec names of the
// command line, mapped on the encoders this system has.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

struct TContainer
{
    const char* Extension;
    const char* Muxer;
    const char* AudioEncoder;
    const char* VideoEncoder;  // nullptr: an audio-only file
};

// The container of a lower-case extension ("mp3", "m4a", "mpg"); nullptr for
// one we do not choose ourselves.
const TContainer* FindContainer(const std::string& extension);

struct TEncoderChoice
{
    const AVCodec* Codec = nullptr;
    unsigned Tag = 0;
    bool Experimental = false;
};

// The encoder for a codec name of the command line ("libfaac" is the native
// AAC encoder, "vorbis" is libvorbis, ...). False with a one-line reason for a
// name this system has no encoder of the given type for.
bool ChooseEncoder(const std::string& asked, AVMediaType type, TEncoderChoice& choice,
                   std::string& error);
