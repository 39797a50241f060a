#include "ui/progress_panel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QLabel>
#include <QTimer>

#include "ui/qt_text.h"

namespace {

TClock& Clock()
{
    static TClock clock;
    return clock;
}

std::int64_t Now()
{
    if (Clock())
        return Clock()();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr std::int64_t FirstEstimateMs = 1000;
constexpr std::int64_t RateWindowMs = 3000;
constexpr std::int64_t RateMinimumMs = 500;

}  // namespace

QString TimeLeftText(std::int64_t seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s left").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s left").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min left").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString ByteSizeText(std::int64_t bytes)
{
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1000 * 1000)
        return QStringLiteral("%1 kB").arg(bytes / 1000);
    if (bytes < 1000LL * 1000 * 1000)
        return QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(double(bytes) / 1e9, 0, 'f', 2);
}

QString TransferText(std::int64_t received, std::int64_t total, double bytesPerSecond)
{
    QString text = ByteSizeText(received);
    if (total >= 0)
        text += QStringLiteral(" of ") + ByteSizeText(total);
    if (bytesPerSecond >= 0)
        text += QStringLiteral(", ") + ByteSizeText(std::llround(bytesPerSecond)) +
                QStringLiteral("/s");
    return text;
}

// ---------------------------------------------------------------- TTimeLeftEstimate

void TTimeLeftEstimate::Start(std::int64_t nowMs)
{
    m_Start = nowMs;
    m_TotalMs = -1;
    m_ByWork = false;
}

void TTimeLeftEstimate::Update(int percent, std::int64_t nowMs)
{
    if (m_ByWork)
        return;
    const std::int64_t elapsed = nowMs - m_Start;
    if (percent <= 0 || percent > 100 || elapsed < FirstEstimateMs) {
        if (percent <= 0)
            m_TotalMs = -1;
        return;
    }
    m_TotalMs = elapsed * 100 / percent;
}

void TTimeLeftEstimate::UpdateWork(double done, double total, std::int64_t nowMs)
{
    m_ByWork = true;
    const std::int64_t elapsed = nowMs - m_Start;
    if (done <= 0 || total <= 0 || elapsed < FirstEstimateMs)
        return;
    m_TotalMs = std::llround(double(elapsed) * total / std::min(done, total));
}

std::int64_t TTimeLeftEstimate::SecondsLeft(std::int64_t nowMs) const
{
    if (m_TotalMs < 0)
        return -1;
    const std::int64_t left = m_TotalMs - (nowMs - m_Start);
    // A job that runs past its prediction has an unknown rest, not none:
    // nothing is told until the bar's next step corrects the prediction.
    return left <= 0 ? -1 : (left + 999) / 1000;
}

// ---------------------------------------------------------------- TTransferRate

void TTransferRate::Start()
{
    m_Samples.clear();
}

void TTransferRate::Add(std::int64_t received, std::int64_t nowMs)
{
    if (!m_Samples.empty() && received < m_Samples.back().second)
        m_Samples.clear();  // a new transfer
    m_Samples.emplace_back(nowMs, received);
    while (m_Samples.size() > 2 && nowMs - m_Samples[1].first >= RateWindowMs)
        m_Samples.pop_front();
}

double TTransferRate::BytesPerSecond() const
{
    if (m_Samples.size() < 2)
        return -1;
    const auto& [firstMs, firstBytes] = m_Samples.front();
    const auto& [lastMs, lastBytes] = m_Samples.back();
    if (lastMs - firstMs < RateMinimumMs)
        return -1;
    return double(lastBytes - firstBytes) * 1000.0 / double(lastMs - firstMs);
}

// ---------------------------------------------------------------- TProgressPanel

TProgressPanel::TProgressPanel(QLabel* item, QLabel* timeLeft, QLabel* transfer, QObject* parent)
    : QObject(parent),
      m_Item(item),
      m_TimeLeft(timeLeft),
      m_Transfer(transfer),
      m_Tick(new QTimer(this))
{
    // The time left counts down between two steps of the bar.
    m_Tick->setInterval(1000);
    connect(m_Tick, &QTimer::timeout, this, &TProgressPanel::ShowTimeLeft);
}

void TProgressPanel::SetClock(TClock clock)
{
    Clock() = std::move(clock);
}

void TProgressPanel::Start()
{
    m_Estimate.Start(Now());
    m_Rate.Start();
    m_Busy = false;
    for (QLabel* label : {m_Item, m_TimeLeft, m_Transfer}) {
        label->clear();
        label->setToolTip(QString());
    }
    m_Tick->start();
}

void TProgressPanel::Stop()
{
    m_Tick->stop();
}

void TProgressPanel::SetItem(const std::string& text)
{
    // A long name gives way in the middle; the whole of it is the tooltip.
    const QString whole = ToQ(text);
    m_Item->setText(m_Item->fontMetrics().elidedText(whole, Qt::ElideMiddle, m_Item->width()));
    m_Item->setToolTip(m_Item->text() == whole ? QString() : whole);
}

void TProgressPanel::SetPercent(int percent)
{
    m_Busy = false;
    m_Estimate.Update(percent, Now());
    ShowTimeLeft();
}

void TProgressPanel::SetWork(double done, double total)
{
    m_Estimate.UpdateWork(done, total, Now());
    ShowTimeLeft();
}

void TProgressPanel::SetBusy(bool busy)
{
    m_Busy = busy;
    ShowTimeLeft();
}

void TProgressPanel::SetTransferred(std::int64_t received, std::int64_t total)
{
    m_Rate.Add(received, Now());
    m_Transfer->setText(TransferText(received, total, m_Rate.BytesPerSecond()));
}

void TProgressPanel::ShowTimeLeft()
{
    const std::int64_t seconds = m_Busy ? -1 : m_Estimate.SecondsLeft(Now());
    m_TimeLeft->setText(seconds < 0 ? QString() : TimeLeftText(seconds));
}
