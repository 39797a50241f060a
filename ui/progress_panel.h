#pragma once

// The texts beside the progress bar while a job runs: what is being worked
// on ("2 of 4: song.flac", "3-4 of 8: maple.flac, birch.flac"), the time
// left, and during a transfer the bytes received and the speed.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include <QObject>
#include <QString>

class QLabel;
class QTimer;

// Milliseconds on a steady clock.
using TClock = std::function<std::int64_t()>;

// "45 s left", "3 min 20 s left", "1 h 5 min left".
QString TimeLeftText(std::int64_t seconds);
// "512 bytes", "640 kB", "12.3 MB", "1.50 GB" (decimal units).
QString ByteSizeText(std::int64_t bytes);
// "12.3 MB of 45.0 MB, 2.1 MB/s"; the total is left out when unknown (< 0),
// the speed when it cannot be told yet (< 0).
QString TransferText(std::int64_t received, std::int64_t total, double bytesPerSecond);

// The time a job still needs, from the work it did in the time it has run:
// the seconds of media converted of all its files' seconds when the job
// tells them, else the share of the bar. Nothing is predicted before a
// second has passed and some progress was made, nor once the job has run
// past its prediction.
class TTimeLeftEstimate
{
public:
    void Start(std::int64_t nowMs);
    void Update(int percent, std::int64_t nowMs);
    // From then on the job's media seconds, not the bar, make the prediction.
    void UpdateWork(double done, double total, std::int64_t nowMs);
    // Seconds left at NOWMS, or -1 while it cannot be told.
    std::int64_t SecondsLeft(std::int64_t nowMs) const;

private:
    std::int64_t m_Start = 0;
    std::int64_t m_TotalMs = -1;  // the whole job's predicted length
    bool m_ByWork = false;
};

// The speed of a transfer over its last few seconds.
class TTransferRate
{
public:
    void Start();
    void Add(std::int64_t received, std::int64_t nowMs);
    // Bytes per second, or -1 while less than half a second was seen.
    double BytesPerSecond() const;

private:
    std::deque<std::pair<std::int64_t, std::int64_t>> m_Samples;  // (ms, bytes)
};

class TProgressPanel : public QObject
{
    Q_OBJECT

public:
    TProgressPanel(QLabel* item, QLabel* timeLeft, QLabel* transfer, QObject* parent);

    // Test seam: the clock the estimates read (a steady clock by default).
    static void SetClock(TClock clock);

    // A job starts: every text is cleared.
    void Start();
    void Stop();
    void SetItem(const std::string& text);
    void SetPercent(int percent);
    void SetWork(double done, double total);
    void SetBusy(bool busy);
    void SetTransferred(std::int64_t received, std::int64_t total);

private:
    void ShowTimeLeft();

    QLabel* m_Item;
    QLabel* m_TimeLeft;
    QLabel* m_Transfer;
    QTimer* m_Tick;
    TTimeLeftEstimate m_Estimate;
    TTransferRate m_Rate;
    bool m_Busy = false;
};
