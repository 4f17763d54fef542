#pragma once
// The time a run of many files has left, from the pace at which its files have finished so
// far: all of them count alike, so one quick or slow file barely moves it, and it changes
// only when another file finishes, never by the clock alone.

#include <QtGlobal>

#include <optional>

class TimeLeft {
public:
    // finished of total files by now, elapsed milliseconds since the run began. Files that
    // needed no work are counted in neither.
    void update(int finished, int total, qint64 elapsed);
    // Milliseconds left; none before the first file finished or after the last.
    std::optional<qint64> milliseconds() const { return m_left; }

private:
    int m_finished = 0;
    std::optional<qint64> m_left;
};
