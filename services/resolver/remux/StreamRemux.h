#pragma once

// Makes one file of a stream's sources on the fly, without re-encoding: the
// best video and the best audio of all inputs, packets interleaved by time,
// written to a sink as the muxer produces them. Runs on a thread of its own
// (the reads block); the watch stops it.

#include "services/resolver/remux/StreamSource.h"
#include "services/resolver/remux/StreamWatch.h"

#include <cstdint>
#include <string>

class TStreamSink
{
public:
    virtual ~TStreamSink() = default;
    // The container is chosen; called once before the first Write.
    virtual void Begin(const char* contentType) = 0;
    // False when the bytes cannot go on (the asker is gone).
    virtual bool Write(const uint8_t* data, int size) = 0;
};

// Empty when the whole source went into the sink and the file is complete;
// otherwise why not (also when the watch was stopped).
std::string RemuxStream(const TStreamSource& source, TStreamSink& sink, TStreamWatch& watch);
