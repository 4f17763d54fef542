#include "platform/timeleft.h"

void TimeLeft::update(int finished, qint64 elapsed)
{
    if (finished == m_finished)
        return;
    m_finished = finished;
    if (finished <= 0 || finished >= m_total)
        m_left.reset();
    else
        m_left = elapsed * (m_total - finished) / finished;
}
