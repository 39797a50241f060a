#pragma once

// How close one decoded sound is to another: files decoded with the ffmpeg
// program to float samples, the signal-to-noise of a decode against its
// source, and the largest difference between two decodes near given joins
// and elsewhere (a seam shows as a difference near a join larger than any
// away from the joins).

#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "TestMedia.h"

// Interleaved float samples.
struct TPcm
{
    int Channels = 0;
    int SampleRate = 0;
    std::vector<float> Samples;

    std::int64_t Frames() const
    {
        return Channels ? static_cast<std::int64_t>(Samples.size()) / Channels : 0;
    }
};

// Decodes PATH with the ffmpeg program (its own channels and rate kept); what
// it printed, at level error, goes to PRINTED. False when it failed.
inline bool DecodePcm(const QString& path, int channels, int sampleRate, TPcm& out,
                      QString& printed)
{
    const QString raw = path + QStringLiteral(".f32");
    const TRun run = Run(QStringLiteral("ffmpeg"),
                         {"-v", "error", "-nostdin", "-y", "-i", path, "-f", "f32le", raw});
    printed = run.Output;
    QFile file(raw);
    if (run.ExitCode != 0 || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    file.remove();
    out.Channels = channels;
    out.SampleRate = sampleRate;
    out.Samples.resize(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::copy_n(bytes.constData(), out.Samples.size() * sizeof(float),
                reinterpret_cast<char*>(out.Samples.data()));
    return true;
}

// Signal-to-noise in dB of DECODED against REFERENCE over their common length.
inline double SignalToNoise(const TPcm& reference, const TPcm& decoded)
{
    const std::size_t n = std::min(reference.Samples.size(), decoded.Samples.size());
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = reference.Samples[i];
        const double d = s - decoded.Samples[i];
        signal += s * s;
        noise += d * d;
    }
    return noise > 0 ? 10.0 * std::log10(signal / noise) : 200.0;
}

struct TSeamMeasure
{
    double NearJoins = 0;  // largest difference within the window of any join
    double Elsewhere = 0;  // largest difference everywhere else
};

// The largest sample difference between A and B within WINDOWSECONDS of any
// of JOINS (sample positions), and outside those stretches.
inline TSeamMeasure SeamDifference(const TPcm& a, const TPcm& b,
                                   const std::vector<std::int64_t>& joins,
                                   double windowSeconds = 0.05)
{
    const std::int64_t frames = std::min(a.Frames(), b.Frames());
    const auto window = static_cast<std::int64_t>(windowSeconds * a.SampleRate);
    std::vector<bool> near(static_cast<std::size_t>(frames), false);
    for (const std::int64_t j : joins)
        for (std::int64_t i = std::max<std::int64_t>(0, j - window);
             i < std::min(frames, j + window + 1); ++i)
            near[static_cast<std::size_t>(i)] = true;
    TSeamMeasure measure;
    for (std::int64_t i = 0; i < frames; ++i) {
        double largest = 0;
        for (int c = 0; c < a.Channels; ++c) {
            const auto at = static_cast<std::size_t>(i * a.Channels + c);
            largest = std::max(largest, std::abs(double(a.Samples[at]) - b.Samples[at]));
        }
        double& into = near[static_cast<std::size_t>(i)] ? measure.NearJoins : measure.Elsewhere;
        into = std::max(into, largest);
    }
    return measure;
}
