#include "tool/ProgressReport.h"

#include <algorithm>

#include "tool/Console.h"

TProgressReport::TProgressReport()
    : m_started(std::chrono::steady_clock::now()), m_lastReport(m_started)
{}

bool TProgressReport::Due(bool last)
{
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - m_lastReport < std::chrono::milliseconds(500))
        return false;
    m_lastReport = now;
    return true;
}

void TProgressReport::Print(const std::vector<TStreamProgress>& streams, bool last,
                            double sizeBytes, double headerBytes) const
{
    TProgressFigures figures;
    figures.Last = last;
    double video = 0;
    double audio = 0;
    for (const TStreamProgress& stream : streams) {
        const TStreamFigures& done = stream.Figures;
        figures.Seconds = std::max(figures.Seconds, done.EndSeconds);
        if (stream.Type == AVMEDIA_TYPE_VIDEO) {
            figures.HasVideo = true;
            figures.Frames = done.Frames;
            figures.Quality = done.Quality;
            video += done.EncodedBytes;
        } else {
            audio += done.EncodedBytes;
        }
    }
    const double elapsed = std::chrono::duration<double>(m_lastReport - m_started).count();
    figures.Fps = elapsed > 0 ? figures.Frames / elapsed : 0;
    figures.SizeBytes = sizeBytes;
    if (last)
        WriteBlock(FormatStatusLine(figures) + "\r\n" +
                   FormatSummaryLine(video, audio, headerBytes, figures.SizeBytes));
    else
        WriteBlock(FormatStatusLine(figures));
}
