// Runs the preview job without a window on the files given, into one folder: separate
// previews at 128 kbps (fixed) or at the input's bit rate (same), or joined at 128 kbps
// (join). Prints how long the job took and how much processor time it used itself, the
// tools not counted. Used by preview_vs_loop.sh.
//
//   preview_bench fixed|same|join <output folder> <start> <duration> <file>...

#include "platform/consoleprompts.h"
#include "platform/shell32.h"
#include "preview/previewjob.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

double ownProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class QuietProgress : public Shell32::Progress {
public:
    QString Text() const override { return m_text; }
    void setText(const QString &text) override { m_text = text; }
    double Value() const override { return m_value; }
    void setValue(double value) override { m_value = value; }

private:
    QString m_text;
    double m_value = 0;
};

class BatchControls : public PreviewControls {
public:
    BatchControls(Prompts &prompts, const QStringList &arguments)
        : m_prompts(prompts),
          m_sameRate(arguments.at(0) == QLatin1String("same")),
          m_join(arguments.at(0) == QLatin1String("join")),
          m_folder(arguments.at(1)),
          m_start(arguments.at(2)),
          m_duration(arguments.at(3)),
          m_rows(arguments.mid(4))
    {
    }

    bool busy() const override { return m_busy; }
    void setBusy(bool busy) override { m_busy = busy; }
    void showBusyPointer(bool) override {}
    int rowCount() const override { return int(m_rows.size()); }
    QString row(int position) const override { return m_rows.value(position - 1); }
    QString outputFolder() const override { return m_folder; }
    QString startText() const override { return m_start; }
    QString durationText() const override { return m_duration; }
    int bitrateIndex() const override { return m_sameRate ? 0 : 1; }
    QString bitrateChoice() const override
    {
        return m_sameRate ? QStringLiteral("Same bit rate as input file") : QStringLiteral("128 kbps");
    }
    bool saveToFolder() const override { return true; }
    bool joinPreviews() const override { return m_join; }
    Shell32::Progress &progress() override { return m_progress; }
    Prompts &prompts() override { return m_prompts; }
    QString applicationTitle() const override { return QStringLiteral("Lumbrisk"); }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }

private:
    Prompts &m_prompts;
    bool m_sameRate;
    bool m_join;
    QString m_folder;
    QString m_start;
    QString m_duration;
    QStringList m_rows;
    bool m_busy = false;
    QuietProgress m_progress;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() < 5 || !QStringList{"fixed", "same", "join"}.contains(arguments.at(0))) {
        std::fprintf(stderr, "usage: preview_bench fixed|same|join <output folder> <start> <duration> <file>...\n");
        return 2;
    }
    ConsolePrompts prompts;
    BatchControls controls(prompts, arguments);
    QElapsedTimer clock;
    const double processorBefore = ownProcessorSeconds();
    clock.start();
    PreviewJob(controls).run();
    std::printf("%.3f %.3f\n", clock.nsecsElapsed() / 1e9, ownProcessorSeconds() - processorBefore);
    return prompts.messages == QStringList{QStringLiteral("Done.")} ? 0 : 1;
}
