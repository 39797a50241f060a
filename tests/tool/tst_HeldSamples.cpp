// The held frames of a shared-out sound stream: what a run hands its
// encoder is, sample for sample, what the stream was given, across chunk
// edges, for planar and interleaved formats, after earlier frames were
// forgotten, and when one run goes on over the next one's frames.
#include <QtTest>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tool/HeldSamples.h"

namespace {

struct TFrameDeleter
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using TFrame = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TEncoderDeleter
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};

// Frame number i of a stream, its bytes a pattern of i, so that any mix-up
// of frames, planes or offsets shows.
TFrame MakeFrame(AVSampleFormat format, int channels, int samples, int i)
{
    TFrame frame(av_frame_alloc());
    frame->format = format;
    frame->nb_samples = samples;
    frame->sample_rate = 44100;
    av_channel_layout_default(&frame->ch_layout, channels);
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
    const int bytes = samples * av_get_bytes_per_sample(format) * (planes == 1 ? channels : 1);
    for (int p = 0; p < planes; ++p)
        for (int b = 0; b < bytes; ++b)
            frame->extended_data[p][b] = static_cast<uint8_t>(i * 31 + p * 7 + b);
    return frame;
}

bool SameSamples(const AVFrame* a, const AVFrame* b, int channels)
{
    const AVSampleFormat format = static_cast<AVSampleFormat>(a->format);
    if (a->nb_samples != b->nb_samples || a->format != b->format)
        return false;
    const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
    const int bytes =
        a->nb_samples * av_get_bytes_per_sample(format) * (planes == 1 ? channels : 1);
    for (int p = 0; p < planes; ++p)
        if (std::memcmp(a->extended_data[p], b->extended_data[p],
                        static_cast<std::size_t>(bytes)) != 0)
            return false;
    return true;
}

}  // namespace

class THeldSamplesTest : public QObject
{
    Q_OBJECT

private slots:
    void runsGiveBackTheFrames_data();
    void runsGiveBackTheFrames();
    void unlikeFrameRefused();
};

void THeldSamplesTest::runsGiveBackTheFrames_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("lastSamples");  // the last frame's, shorter

    // 1 MiB chunks: 113 MP3 frames of planar float stereo, 85 of 5.1 AC-3.
    QTest::newRow("MP3: planar float stereo") << int(AV_SAMPLE_FMT_FLTP) << 2 << 1152 << 400 << 700;
    QTest::newRow("AC-3: planar float 5.1") << int(AV_SAMPLE_FMT_FLTP) << 6 << 1536 << 300 << 1536;
    QTest::newRow("MP2: interleaved 16-bit stereo")
        << int(AV_SAMPLE_FMT_S16) << 2 << 1152 << 700 << 1;
    QTest::newRow("AAC: planar float mono") << int(AV_SAMPLE_FMT_FLTP) << 1 << 1024 << 600 << 1023;
    QTest::newRow("MP3: 32-bit planar, 8 channels")
        << int(AV_SAMPLE_FMT_S32P) << 8 << 1152 << 120 << 5;
}

void THeldSamplesTest::runsGiveBackTheFrames()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, frameSize);
    QFETCH(int, frames);
    QFETCH(int, lastSamples);
    std::unique_ptr<AVCodecContext, TEncoderDeleter> encoder(avcodec_alloc_context3(nullptr));
    encoder->sample_fmt = static_cast<AVSampleFormat>(format);
    encoder->frame_size = frameSize;
    av_channel_layout_default(&encoder->ch_layout, channels);

    const auto fmt = static_cast<AVSampleFormat>(format);
    std::vector<TFrame> given;
    std::unique_ptr<THeldRun> early, late;
    {
        THeldSamples held(encoder.get());
        std::string reason;
        for (int i = 0; i < frames; ++i) {
            given.push_back(MakeFrame(fmt, channels, i + 1 == frames ? lastSamples : frameSize, i));
            QVERIFY(given.back());
            QVERIFY2(held.Add(given.back().get(), reason), reason.c_str());
            // As the blocks go: a run is cut when the next one's frames are
            // there, and what only it needs is forgotten.
            if (i + 1 == frames / 2) {
                early = held.Run(frames / 4, frames / 2);
                QVERIFY(early);
                held.Forget(frames / 3);
            }
        }
        QCOMPARE(held.Count(), qlonglong(frames));
        late = held.Run(frames / 3, frames);
        QVERIFY(late);
        held.Forget(frames);
        // The runs outlive the store that cut them: their chunks are theirs.
    }
    QCOMPARE(early->First(), qlonglong(frames / 4));
    QCOMPARE(early->End(), qlonglong(frames / 2));
    // The earlier run goes on over the later one's frames, as when a join
    // was not found.
    QVERIFY(early->Append(*late));
    QCOMPARE(early->End(), qlonglong(frames));
    late.reset();

    AVFrame* view = early->MakeView();
    QVERIFY(view);
    for (std::size_t i = 0; i < early->Size(); ++i) {
        const std::int64_t n = early->First() + static_cast<std::int64_t>(i);
        QVERIFY(early->Fill(view, i, n * frameSize));
        QCOMPARE(view->pts, qlonglong(n * frameSize));
        QVERIFY2(SameSamples(view, given[static_cast<std::size_t>(n)].get(), channels),
                 qPrintable(QStringLiteral("frame %1").arg(n)));
        QCOMPARE(view->ch_layout.nb_channels, channels);
        for (int p = 0; p < (av_sample_fmt_is_planar(fmt) ? channels : 1); ++p)
            QCOMPARE(reinterpret_cast<std::uintptr_t>(view->data[p]) % 64, std::uintptr_t{0});
        THeldRun::Release(view);
        QVERIFY(!view->buf[0]);
    }
    av_frame_free(&view);
}

void THeldSamplesTest::unlikeFrameRefused()
{
    std::unique_ptr<AVCodecContext, TEncoderDeleter> encoder(avcodec_alloc_context3(nullptr));
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder->frame_size = 1152;
    av_channel_layout_default(&encoder->ch_layout, 2);
    THeldSamples held(encoder.get());
    std::string reason;
    QVERIFY(!held.Add(MakeFrame(AV_SAMPLE_FMT_FLTP, 1, 1152, 0).get(), reason));
    QCOMPARE(reason, std::string("a frame unlike the stream's"));
    QVERIFY(!held.Add(MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 1153, 0).get(), reason));
    QVERIFY(!held.Add(MakeFrame(AV_SAMPLE_FMT_S16P, 2, 1152, 0).get(), reason));
    QVERIFY(held.Add(MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 1152, 0).get(), reason));
    QCOMPARE(held.Count(), 1LL);
}

QTEST_APPLESS_MAIN(THeldSamplesTest)
#include "tst_HeldSamples.moc"
