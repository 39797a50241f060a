// What was decoded of one sound stream's packets on their way into the muxer
// (see WrittenSoundCheck.h): the decoder's verdict, the parameters it was
// opened with, and the digest of the packets it was given. The read-back of
// the finished file takes this verdict instead of decoding the stream again
// only when the file gives back the same packets (same digest) for a decoder
// opened the same way; otherwise it decodes the stream whole.
#pragma once

extern "C" {
#include <libavcodec/codec_par.h>
}

#include <memory>
#include <string>

#include "tool/PacketDigest.h"

struct TWrittenSound
{
    TPacketSum Packets;
    bool Framed = false;  // the decoder gave a frame (or there is no decoder to judge with)
    std::string Problem;  // the first error the decoder gave or logged; empty: none
    std::shared_ptr<const AVCodecParameters> Parameters;

    // Whether a decoder opened with demuxed (a stream of the finished file)
    // is opened as the one that judged the written packets.
    bool DecodesAlike(const AVCodecParameters* demuxed) const;
};

// Whether the reader of what muxer writes can give back a sound stream as it
// was written, so that a decode beside the encode may stand for one from the
// file. Not FLAC (the muxer writes the finished stream's information into
// the codec's header) nor AVI (the reader takes block size and bit rate from
// the container's own header): their sound is always decoded from the file.
bool ReadsBackAsWritten(const char* muxer);
