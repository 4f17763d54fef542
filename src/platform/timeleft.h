#pragma once
// The time a run of many files has left, from the pace at which its files have finished so
// far: all of them count alike, so one quick or slow file barely moves it, and it changes
// only when another file finishes, never by the clock alone.

#include <QtGlobal>

#include <optional>

class TimeLeft {
public:
    explicit TimeLeft(int total) : m_total(total) {}

    // finished files by now, elapsed milliseconds since the run began.
    void update(int finished, qint64 elapsed);
    // Milliseconds left; none before the first file finished or after the last.
    std::optional<qint64> milliseconds() const { return m_left; }

private:
    int m_total;
    int m_finished = 0;
    std::optional<qint64> m_left;
};
