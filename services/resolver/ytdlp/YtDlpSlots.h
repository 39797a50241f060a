#pragma once

// At most a few yt-dlp runs at once, however many requests come in: each
// run is a Python process that takes a core for a second or more. Runs that
// find every slot taken wait their turn in order of arrival.

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class TYtDlpSlots
{
public:
    static TYtDlpSlots& Instance();

    int Capacity() const { return m_capacity; }
    void SetCapacity(int capacity);

    // GRANTED is called (at once, or later from the event loop) when OWNER
    // may start its run; not at all when OWNER is destroyed or withdraws
    // first. The owner then holds one slot until Release.
    void Acquire(QObject* owner, std::function<void()> granted);
    // Gives a held slot back, or leaves the queue; harmless when neither.
    void Release(QObject* owner);

    int Running() const { return static_cast<int>(m_holders.size()); }
    int Waiting() const { return static_cast<int>(m_queue.size()); }

private:
    struct TWaiter
    {
        QPointer<QObject> Owner;
        std::function<void()> Granted;
    };
    void GrantNext();

    int m_capacity = 3;
    QList<QObject*> m_holders;
    QList<TWaiter> m_queue;
};
