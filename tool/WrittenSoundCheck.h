// The decode check of a sound stream, run beside the encode: every packet
// handed to the muxer for the stream is also handed (a new reference) to a
// thread of its own, which decodes it as the read-back of the finished file
// would (see FirstFrame.h: decoder errors, frames flagged corrupt, errors the
// decoder only logs) and keeps the digest of the packets. After the trailer
// the read-back then needs to decode the stream only when the file gives back
// other packets than were written (see WrittenSound.h), so the decode no
// longer runs alone after the encode. The queue between the writer and the
// checker is bounded: memory stays flat, and the writer waits only while the
// checker, which decodes far faster than any encoder encodes, is a queue
// behind.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <optional>
#include <thread>

#include "tool/FirstFrame.h"
#include "tool/PacketDigest.h"
#include "tool/PacketQueue.h"
#include "tool/WrittenSound.h"

// Some 2 s of compressed sound, 0.3 s of 44.1 kHz stereo PCM.
inline constexpr std::size_t kWrittenSoundPackets = 96;
inline constexpr std::size_t kWrittenSoundBytes = 1 << 20;

class TWrittenSoundCheck
{
public:
    // Starts the checker for the packets of stream, decoded with the
    // parameters the muxer's header left on it.
    explicit TWrittenSoundCheck(const AVStream* stream);
    // Stops the checker and waits for its thread.
    ~TWrittenSoundCheck();
    TWrittenSoundCheck(const TWrittenSoundCheck&) = delete;
    TWrittenSoundCheck& operator=(const TWrittenSoundCheck&) = delete;

    // A new reference to packet (its times in the stream's time base) goes
    // to the checker, once there is room in its queue.
    void Add(const AVPacket* packet);
    // The run is stopping: the checker drops what it holds and ends after
    // the packet in hand; there will be no verdict.
    void Stop();
    // The last packet has been added: waits until the checker has decoded
    // every packet. Empty when it did not see every packet (it was stopped,
    // or there was no memory), so that the read-back decodes the stream.
    std::optional<TWrittenSound> Finish();

private:
    void Run();

    std::shared_ptr<AVCodecParameters> m_parameters;
    AVRational m_timeBase;
    TPacketQueue m_queue{kWrittenSoundPackets, kWrittenSoundBytes};
    AVPacket* m_handed = nullptr;  // the writer's reference on its way in
    TPacketDigest m_digest;
    TFirstFrameProbe m_probe{-1.0};
    std::atomic<bool> m_lost{false};  // a packet did not reach the checker
    bool m_ended = false;             // the checker took the queue's end
    std::thread m_thread;
};
