#include "services/resolver/ytdlp/YtDlpSlots.h"

TYtDlpSlots& TYtDlpSlots::Instance()
{
    static TYtDlpSlots instance;
    return instance;
}

void TYtDlpSlots::SetCapacity(int capacity)
{
    m_capacity = qMax(1, capacity);
    GrantNext();
}

void TYtDlpSlots::Acquire(QObject* owner, std::function<void()> granted)
{
    m_queue.append({owner, std::move(granted)});
    GrantNext();
}

void TYtDlpSlots::Release(QObject* owner)
{
    m_holders.removeAll(owner);
    m_queue.removeIf([owner](const TWaiter& waiter) { return waiter.Owner == owner; });
    GrantNext();
}

void TYtDlpSlots::GrantNext()
{
    while (!m_queue.isEmpty() && m_holders.size() < m_capacity) {
        TWaiter next = m_queue.takeFirst();
        if (!next.Owner)
            continue;  // gone while it waited
        m_holders.append(next.Owner);
        next.Granted();
    }
}
