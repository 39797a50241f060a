// The sound encoder of one stream, shared out over several threads. The
// stream's frames (each the encoder's frame_size samples, counted from its
// first sample) are cut into blocks; each block is coded by an encoder of its
// own, like the stream's, started a lead-in before the block and run a little
// past it; the packets are joined in block order, by the stream's join rule,
// and written as one encoder would have written them. A stream too short for
// the blocks to pay is coded by the stream's own encoder.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tool/BlockPlan.h"
#include "tool/HeldSamples.h"
#include "tool/PacketJoin.h"
#include "tool/SegmentJob.h"
#include "tool/SegmentWorkers.h"

class TSegmentEncoder
{
public:
    using TWrite = std::function<bool(AVPacket*)>;

    // encoder: the stream's open encoder (the blocks' encoders are made like
    // it; it codes a short stream itself). expectedSeconds: the stream's
    // length as the input states it (0: unknown), for the blocks' lengths.
    // write takes each packet in order,
    // false when it cannot (its error is the pipeline's). failure starts the
    // line of an encoding failure.
    TSegmentEncoder(AVCodecContext* encoder, std::unique_ptr<TPacketJoin> join, int workers,
                    double expectedSeconds, TWrite write, std::string failure);
    ~TSegmentEncoder();
    TSegmentEncoder(const TSegmentEncoder&) = delete;
    TSegmentEncoder& operator=(const TSegmentEncoder&) = delete;

    // Takes the stream's next frame (nullptr: its end, after which every
    // packet has been written). False with the one-line reason in error,
    // left empty when write failed.
    bool Encode(const AVFrame* frame, std::string& error);

private:
    std::int64_t BlockStart(std::int64_t block);
    std::int64_t RunStart(std::int64_t block);
    std::int64_t RunEnd(std::int64_t block);
    bool Keep(const AVFrame* frame, std::string& reason);
    bool Dispatch(bool last);
    bool Collect(bool all, std::string& error);
    bool JoinNext(std::shared_ptr<TSegmentJob> later, std::string& error);
    bool WriteKept(std::int64_t end, std::string& error);
    bool EncodeAlone(std::string& error);
    bool Fail(const std::string& reason, std::string& error);
    void ReportJoins() const;

    AVCodecContext* m_encoder;
    std::unique_ptr<TPacketJoin> m_join;
    TWrite m_write;
    std::string m_failure;
    TBlockPlan m_plan;
    std::int64_t m_splitFrames;  // frames buffered before the blocks start
    std::size_t m_inFlight;      // jobs run or waiting, at most
    std::int64_t m_origin = AV_NOPTS_VALUE;
    THeldSamples m_held;  // the frames taken that a run may still need
    bool m_splitting = false;
    std::int64_t m_nextBlock = 0;
    TSegmentWorkers m_workers;
    std::deque<std::shared_ptr<TSegmentJob>> m_pending;  // in block order
    std::shared_ptr<TSegmentJob> m_earlier;  // joined, its packets from m_keptFrom unwritten
    std::int64_t m_keptFrom = 0;
    std::vector<std::int64_t> m_joins;  // the frames where a later run took over
};
