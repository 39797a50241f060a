// Where the pipeline of one stream hands its encoded packets: the muxer in a
// plain run. The pipeline knows nothing else of the output, so that several
// pipelines (or several encoders of one stream) can write through sinks of
// their own.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

class TPacketSink
{
public:
    virtual ~TPacketSink() = default;
    // Takes packet, its times in timeBase (the encoder's). False with the
    // one-line reason when it cannot be written.
    virtual bool Write(AVPacket* packet, AVRational timeBase, std::string& error) = 0;
    // The file the packets go into, as failure lines name it.
    virtual const std::string& Name() const = 0;
};
