// The conductor of one conversion. Its stages, one file each: the input and
// output descriptions (StreamDescriptions), the choice of streams and their
// decoders and encoders (StreamSetup), the output's container
// (OutputMuxer), the pipeline of each stream (StreamPipeline, with its
// FilterGraph and FrameTimeMender) in a thread of its own (StreamThreads),
// the packet times (PacketTimeMender), the status lines (ProgressReport) and
// the checks of what was read and written (ConversionCheck).
#include "tool/TranscoderUnit.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "tool/Console.h"
#include "tool/ConversionCheck.h"
#include "tool/CoverPicture.h"
#include "tool/InputTags.h"
#include "tool/LibraryError.h"
#include "tool/LibraryLog.h"
#include "tool/OutputFile.h"
#include "tool/OutputMuxer.h"
#include "tool/OutputTarget.h"
#include "tool/PacketTimeMender.h"
#include "tool/ProgressReport.h"
#include "tool/ProgressWatchdog.h"
#include "tool/StreamDescriptions.h"
#include "tool/StreamPipeline.h"
#include "tool/StreamSetup.h"
#include "tool/StreamThreads.h"
#include "tool/ThreadBudget.h"

namespace {

bool Fail(const std::string& line)
{
    WriteLine(line);
    return false;
}

double FileSize(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}

// The streams run beside each other when the run may use more than one
// processor; on one, in the reader's thread as they always did.
bool StreamsInThreads()
{
    return ThreadBudget() > 1;
}

class TTranscoder
{
public:
    explicit TTranscoder(const TToolOptions& options)
        : m_options(options), m_output(options.OutputPath)
    {}
    ~TTranscoder();
    int Run();

private:
    bool OpenInput();
    bool SetUpOutput();
    bool AddStreams();
    bool AddTagsAndCover();
    bool Convert();
    bool ReadAll();
    bool TakeAll();
    bool Hand(TStreamThread& stream, AVPacket* packet);
    bool WatchWait(const TStreamThread& stream, std::uint64_t& taken);
    bool Finish();
    void Report(bool last);

    const TToolOptions& m_options;
    AVFormatContext* m_in = nullptr;
    TOutputMuxer m_output;
    TOutputFile m_file;
    TPipelines m_pipelines;
    const AVStream* m_soundInput = nullptr;  // the sound stream converted
    std::unique_ptr<TCoverPicture> m_cover;
    std::unique_ptr<TStreamThreads> m_streams;  // goes before the pipelines
    std::unique_ptr<TProgressReport> m_progress;
    TProgressWatchdog m_watchdog;  // stops a reader that gets no further
};

TTranscoder::~TTranscoder()
{
    m_streams.reset();
    m_pipelines.clear();
    avformat_close_input(&m_in);
}

bool TTranscoder::OpenInput()
{
    const std::string& path = m_options.InputPath;
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return Fail("'" + path + "': is a folder, not a media file");
    // "file:" keeps every path a local file, whatever it looks like.
    const std::string url = "file:" + path;
    m_in = avformat_alloc_context();
    if (!m_in)
        return Fail("Out of memory");
    m_watchdog.Attach(m_in, path);
    int rc = avformat_open_input(&m_in, url.c_str(), nullptr, nullptr);
    if (m_watchdog.Stalled())
        return Fail(m_watchdog.Reason());
    if (rc < 0)
        return Fail("'" + path + "': " + ErrorText(rc));
    rc = avformat_find_stream_info(m_in, nullptr);
    if (m_watchdog.Stalled())
        return Fail(m_watchdog.Reason());
    if (rc < 0)
        return Fail("'" + path + "': cannot read its streams: " + ErrorText(rc));
    return true;
}

// The container, its streams and tags, the output's description, and the
// header written into the hidden temporary file.
bool TTranscoder::SetUpOutput()
{
    const std::string& path = m_options.OutputPath;
    std::string error;
    if (!m_output.Create(error))
        return Fail(error);
    if (!WritesOneFile(m_output.Format(), path, error) ||
        !IsOtherThanInput(m_options.InputPath, path, error) || !IsFileOrFree(path, error))
        return Fail(error);
    if (!m_file.Create(path, m_options.Overwrite, error))
        return Fail(error);
    m_watchdog.SetPartFile(m_file.TemporaryPath());
    if (!AddStreams() || !AddTagsAndCover())
        return false;
    WriteBlock(OutputBlock(m_output.Format(), path, m_pipelines,
                           m_output.CoverStream() ? m_cover->Input() : nullptr,
                           m_output.CoverStream()));
    if (!m_output.Open(m_file.TemporaryPath(), error))
        return Fail(error);
    return true;
}

// One pipeline per chosen stream, in the input's order, each writing into a
// stream of the output.
bool TTranscoder::AddStreams()
{
    const TStreamSetup setup(m_options, m_in, m_output);
    int videoIndex = -1;
    int audioIndex = -1;
    std::string error;
    if (!setup.ChooseStreams(videoIndex, audioIndex, error))
        return Fail(error);
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        const int index = static_cast<int>(i);
        if (index != videoIndex && index != audioIndex)
            continue;
        AVStream* in = m_in->streams[i];
        std::unique_ptr<TStreamPipeline> pipeline =
            index == videoIndex ? setup.Video(in, error) : setup.Audio(in, error);
        if (!pipeline)
            return Fail(error);
        TMuxedStream* out = m_output.AddStream(pipeline->Encoder(), pipeline->FrameRate());
        if (!out || !pipeline->IsAllocated())
            return Fail("Out of memory");
        pipeline->SendTo(*out, out->Stream()->index);
        if (index == audioIndex)
            m_soundInput = in;
        m_pipelines.push_back(std::move(pipeline));
    }
    // A file of sound alone shares its encoding out over the run's threads.
    // Beside pictures it keeps one encoder: the picture encoder has the
    // threads, and the muxer would hold the pictures back by the blocks
    // still being coded.
    if (m_pipelines.size() == 1 && m_soundInput)
        m_pipelines.front()->SplitEncoding(
            ThreadBudget(), DeclaredSeconds(m_in, m_soundInput, m_options.InputPath));
    // Its sound is decoded for the output check while it is written, in a
    // thread of its own, when the run may use more than one processor.
    if (m_pipelines.size() == 1 && m_pipelines.front()->Type() == AVMEDIA_TYPE_AUDIO &&
        StreamsInThreads())
        m_output.CheckSoundBeside();
    return true;
}

// The input's tags, wherever its container keeps them, and its cover.
bool TTranscoder::AddTagsAndCover()
{
    AVDictionary* tags = nullptr;
    CollectInputTags(m_in, m_soundInput, &tags);
    m_output.SetTags(tags, m_options);
    av_dict_free(&tags);
    m_cover = std::make_unique<TCoverPicture>(m_in);
    if (m_soundInput && !m_output.AddCover(*m_cover))
        return Fail("Out of memory");
    return true;
}

// Every packet of the chosen streams through its pipeline, then the
// pipelines drained and the file closed.
bool TTranscoder::Convert()
{
    m_progress = std::make_unique<TProgressReport>();
    m_streams = std::make_unique<TStreamThreads>(m_pipelines, StreamsInThreads(),
                                                 [this] { m_output.StopWriting(); });
    const bool read = ReadAll() && TakeAll();
    if (!read) {
        // A stream stuck in its packet stops at its next write; the watchdog
        // ends the process should one not come back at all.
        m_output.StopWriting();
        m_streams->Stop();
        m_watchdog.Stop();
        return false;
    }
    m_watchdog.Stop();
    if (!m_streams->Finish([this] { Report(false); }))
        return Fail(m_streams->Failure());
    std::string error;
    if (!m_output.Finish(error))
        return Fail(error);
    Report(true);
    return true;
}

bool TTranscoder::ReadAll()
{
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return Fail("Out of memory");
    TPacketTimeMender mender(m_in);
    bool ok = true;
    while (ok) {
        const int rc = av_read_frame(m_in, packet);
        if (m_watchdog.Stalled()) {
            ok = Fail(m_watchdog.Reason());
            break;
        }
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0) {
            if (rc != AVERROR_EOF)
                WriteLine("'" + m_options.InputPath + "': reading stopped early: " + ErrorText(rc));
            break;
        }
        m_watchdog.NoteRead(m_in, packet);
        // Some demuxers (FLV) add streams in the middle of the file; those
        // were not chosen at open time and are passed over.
        TStreamThread* stream = m_streams->ForInput(packet->stream_index);
        if (stream) {
            mender.Mend(packet);
            ok = Hand(*stream, packet);
        }
        av_packet_unref(packet);
        if (ok)
            Report(false);
    }
    av_packet_free(&packet);
    return ok;
}

// The reader waits while the stream's queue is full.
bool TTranscoder::Hand(TStreamThread& stream, AVPacket* packet)
{
    if (!stream.HasRoom()) {
        m_watchdog.BeginWait();
        std::uint64_t taken = stream.Taken();
        while (!stream.WaitForRoom(kStreamWait)) {
            if (!WatchWait(stream, taken))
                return false;
        }
        m_watchdog.NoteTaken();
    }
    return stream.Feed(packet) || Fail(m_streams->Failure());
}

// Once the input has ended, until every stream has taken its last packet.
bool TTranscoder::TakeAll()
{
    m_streams->Close();
    for (const auto& stream : m_streams->Streams()) {
        m_watchdog.BeginWait();
        std::uint64_t taken = stream->Taken();
        while (!stream->WaitUntil(TStreamThread::TStage::Draining, kStreamWait)) {
            if (!WatchWait(*stream, taken))
                return false;
        }
    }
    return true;
}

// A wait for a stream, with the status lines going on. A stream that gets
// no further through its packets for the watchdog's bound of processor time
// is stuck as a reader would be (one damaged packet can make a decoder hand
// out pictures without end).
bool TTranscoder::WatchWait(const TStreamThread& stream, std::uint64_t& taken)
{
    if (m_watchdog.Stalled())
        return Fail(m_watchdog.Reason());
    if (stream.Taken() != taken) {
        taken = stream.Taken();
        m_watchdog.NoteTaken();
    }
    Report(false);
    return true;
}

void TTranscoder::Report(bool last)
{
    if (!m_progress->Due(last))
        return;
    const double size = last ? FileSize(m_file.TemporaryPath()) : m_output.BytesWritten();
    m_progress->Print(m_streams->Progress(), last, size, m_output.HeaderBytes());
}

// The checks of what was read and written, then the real name.
bool TTranscoder::Finish()
{
    std::string error;
    if (!CheckWhatWasRead(m_in, m_pipelines, m_options, error) ||
        !CheckFinishedFile(m_file.TemporaryPath(), m_output.Format(), m_pipelines,
                           m_output.CoverBytes(), m_output.WrittenSound(), m_options.OutputPath,
                           error))
        return Fail(error);
    // No codec threads are left running when the file gets its real name.
    m_pipelines.clear();
    if (!m_file.Commit(error))
        return Fail(error);
    return true;
}

int TTranscoder::Run()
{
    HoldLibraryLog(true);
    const bool opened = OpenInput();
    if (opened)
        WriteBlock(InputBlock(m_in, m_options.InputPath));
    HoldLibraryLog(false);
    if (!opened)
        return 1;
    for (const std::string& warning : m_options.Warnings)
        WriteLine(warning);
    if (!m_options.HasOutput) {
        WriteBlock(kNoOutputLines);
        return 1;
    }
    return SetUpOutput() && Convert() && Finish() ? 0 : 1;
}

}  // namespace

int RunConversion(const TToolOptions& options)
{
    InstallLibraryLog();
    TTranscoder transcoder(options);
    return transcoder.Run();
}
