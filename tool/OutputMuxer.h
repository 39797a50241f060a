// The output's container: chosen by the output's extension, given one stream
// for each pipeline and the tags, written under the hidden temporary name,
// and closed at the end with every write checked.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tool/CodecChoice.h"
#include "tool/CoverPicture.h"
#include "tool/PacketSink.h"
#include "tool/ToolOptions.h"
#include "tool/WrittenSoundCheck.h"

// What the streams of one output share: the streams' threads write into the
// muxer one at a time, and once the run is stopping no more packets go in.
struct TMuxerGate
{
    std::mutex Lock;
    std::atomic<bool> Closed{false};
};

// One stream of the output: the packets of its pipeline go into the muxer.
class TMuxedStream : public TPacketSink
{
public:
    TMuxedStream(AVFormatContext* output, AVStream* stream, const std::string& name,
                 TMuxerGate& gate)
        : m_output(output), m_stream(stream), m_name(name), m_gate(gate)
    {}
    bool Write(AVPacket* packet, AVRational timeBase, std::string& error) override;
    const std::string& Name() const override { return m_name; }
    AVStream* Stream() const { return m_stream; }

    // From now on every packet written is decoded beside the encode as well
    // (see WrittenSoundCheck.h); after the header.
    void CheckBeside();
    // The run is stopping: the check beside ends at once.
    void StopCheck();
    // The verdict of the check beside once every packet is written; empty
    // without one.
    std::optional<TWrittenSound> FinishCheck();

private:
    AVFormatContext* m_output;
    AVStream* m_stream;
    std::string m_name;
    TMuxerGate& m_gate;
    std::unique_ptr<TWrittenSoundCheck> m_check;
};

class TOutputMuxer
{
public:
    // path is the output's real name: its extension chooses the container,
    // and failure lines name it.
    explicit TOutputMuxer(const std::string& path) : m_path(path) {}
    ~TOutputMuxer();
    TOutputMuxer(const TOutputMuxer&) = delete;
    TOutputMuxer& operator=(const TOutputMuxer&) = delete;

    // Chooses the container. False with the one-line reason.
    bool Create(std::string& error);
    const AVOutputFormat* Format() const { return m_context->oformat; }
    // The container the extension chose (nullptr: libavformat's guess).
    const TContainer* Container() const { return m_container; }
    // The muxer name the settings depend on; empty for a guessed container.
    std::string ChosenMuxer() const { return m_container ? m_container->Muxer : ""; }
    bool WritesAudioOnly() const;

    // A new stream for what encoder writes at frameRate (pictures only).
    // Nullptr when it cannot be added.
    TMuxedStream* AddStream(const AVCodecContext* encoder, AVRational frameRate);
    // The input's own tags (see InputTags.h); the command line's copyright
    // and comment fill those two only where the input has none.
    void SetTags(const AVDictionary* inputTags, const TToolOptions& options);
    // Carries the input's cover into the output where its format holds one
    // (see CoverPicture.h): a picture stream, or an Ogg comment on each sound
    // stream. After the streams and tags, before Open. False when out of
    // memory.
    bool AddCover(const TCoverPicture& cover);
    // The stream holding the cover; nullptr when it has none.
    const AVStream* CoverStream() const { return m_coverStream; }
    // The bytes of the cover the output holds; 0 when it holds none.
    std::int64_t CoverBytes() const { return m_coverBytes; }
    // The packets of the sound stream of a file of sound alone are decoded
    // beside the encode (see WrittenSoundCheck.h); before Open.
    void CheckSoundBeside() { m_checkBeside = true; }
    // Opens the file at temporaryPath and writes the header, then the
    // cover's picture.
    bool Open(const std::string& temporaryPath, std::string& error);
    // Writes the trailer and closes the file, every write checked.
    bool Finish(std::string& error);
    // The run is stopping: the streams' writes fail from now on, so that an
    // encoder being drained stops at its next packet.
    void StopWriting();
    // What the check beside the encode found of the sound stream, once the
    // file is finished; empty when there was none or it did not see every
    // packet.
    const std::optional<TWrittenSound>& WrittenSound() const { return m_writtenSound; }

    // What was written so far, while the file is open (from any thread).
    double BytesWritten() const;
    // The encoders' global headers, in bytes.
    double HeaderBytes() const { return m_headerBytes; }

private:
    void SetTag(const char* key, const char* value);

    std::string m_path;
    const TContainer* m_container = nullptr;
    AVFormatContext* m_context = nullptr;
    std::vector<std::unique_ptr<TMuxedStream>> m_streams;
    mutable TMuxerGate m_gate;
    double m_headerBytes = 0;
    const TCoverPicture* m_cover = nullptr;
    AVStream* m_coverStream = nullptr;
    std::int64_t m_coverBytes = 0;
    bool m_checkBeside = false;
    std::optional<TWrittenSound> m_writtenSound;
};
