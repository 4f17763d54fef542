#include "platform/timeleft.h"

void TimeLeft::update(int finished, int total, qint64 elapsed)
{
    if (finished == m_finished)
        return;
    m_finished = finished;
    if (finished <= 0 || finished >= total)
        m_left.reset();
    else
        m_left = elapsed * (total - finished) / finished;
}
