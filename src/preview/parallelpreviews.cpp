#include "preview/parallelpreviews.h"

#include "platform/main.h"
#include "platform/shell32.h"
#include "preview/getbitrate.h"
#include "preview/mp3audio.h"
#include "preview/previewcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

using Shell32::RunResult;

namespace {

// FFmpeg's "Duration: 00:02:30.05," line in seconds; none when it gives no length.
std::optional<double> lengthFromCapture(const QString &capture)
{
    static const QRegularExpression duration(QStringLiteral("Duration: (\\d+):(\\d\\d):(\\d\\d(?:\\.\\d+)?)"));
    const QRegularExpressionMatch match = duration.match(capture);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble() * 3600 + match.captured(2).toDouble() * 60 + match.captured(3).toDouble();
}

// Seconds as SoX reads them: plain decimals, at most to the millisecond.
QString secondsText(double seconds)
{
    QString text = QString::number(seconds, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString soxProblem(const RunResult &result, const QString &output)
{
    if (result.outcome == RunResult::Outcome::FailedToStart)
        return QStringLiteral("SoX could not be started: ") + result.startError;
    if (!result.succeeded())
        return QStringLiteral("SoX failed: ") + result.lastErrorLine();
    return Mp3Audio::HoldsAudio(output) ? QString() : QStringLiteral("SoX cut no audio from it");
}

// A name in the output's folder that no other run picks: the rename at the end makes the
// preview appear whole or not at all.
QString writingName(const QString &output)
{
    return Main::FolderOf(output) + QLatin1Char('.') + Main::FileNameOf(Main::StripExtension(output))
           + QStringLiteral(".%1-%2.part.mp3").arg(QCoreApplication::applicationPid()).arg(QRandomGenerator::global()->generate64(), 0, 36);
}

bool commit(const QString &writing, const QString &output)
{
    QFile::remove(output);
    return QFile::rename(writing, output);
}

} // namespace

struct ParallelPreviews::Work {
    Step step = Step::Cut;
    QString bitrate;
    std::optional<double> length;
    QString writing;             // the name SoX writes to while it runs
    QProcess *process = nullptr; // the tool running for this file
};

ParallelPreviews::ParallelPreviews(Tools::Found tools, PreviewSettings settings, QStringList sources, QObject *parent)
    : QObject(parent), m_tools(std::move(tools)), m_settings(std::move(settings))
{
    for (const QString &source : sources) {
        Result result;
        result.source = source;
        m_results.append(result);
    }
    m_work.resize(m_results.size());
}

ParallelPreviews::~ParallelPreviews()
{
    killTools();
}

void ParallelPreviews::start()
{
    m_dryRun = false;
    begin();
}

void ParallelPreviews::plan()
{
    m_dryRun = true;
    begin();
}

void ParallelPreviews::begin()
{
    if (m_settings.join) {
        if (m_dryRun) {
            m_pieceFolder = QDir::tempPath() + QStringLiteral("/lumbrisk-pieces");
        } else {
            m_pieces = std::make_unique<QTemporaryDir>(Tools::TemporaryFolder() + QStringLiteral("/lumbrisk-XXXXXX"));
            m_pieceFolder = m_pieces->path();
        }
    }
    for (int index = 0; index < total(); ++index) {
        Result &result = m_results[index];
        const QString folder = m_settings.outputFolder.isEmpty() ? Main::FolderOf(result.source) : m_settings.outputFolder;
        result.preview = m_settings.join ? m_pieceFolder + QStringLiteral("/%1.mp3").arg(index + 1, 4, 10, QLatin1Char('0'))
                                         : PreviewCommands::OutputPath(folder, result.source);
        const bool ownBitrate = m_settings.kbps == 0 && (!m_settings.join || index == 0);
        m_work[index].step = ownBitrate || m_settings.startShare ? Step::Probe : Step::Cut;
        if (!QFileInfo(result.source).isFile())
            fail(index, QStringLiteral("no such file"));
    }
    if (m_settings.join) {
        Result joined;
        const QString folder = m_settings.outputFolder.isEmpty() && total() > 0 ? Main::FolderOf(m_results.first().source)
                                                                               : m_settings.outputFolder;
        joined.preview = PreviewCommands::JoinedPath(folder);
        m_joined = joined;
    }
    // Results and the end are reported from the event loop, so that a caller can connect
    // to the signals after starting.
    QTimer::singleShot(0, this, [this] {
        reportInOrder();
        pump();
    });
}

void ParallelPreviews::pump()
{
    if (m_stopped || m_done)
        return;
    while (m_running.size() < m_settings.jobs && launchNext()) {
    }
    if (!m_running.isEmpty() || m_finished < total())
        return;
    if (m_settings.join && !m_joined->command)
        join();
    else
        finish();
}

// Starts the first piece of work in list order that can run now; false when there is none.
bool ParallelPreviews::launchNext()
{
    for (int index = 0; index < total(); ++index) {
        const Work &work = m_work[size_t(index)];
        if (work.process || work.step == Step::Done)
            continue;
        if (work.step == Step::Probe) {
            probe(index);
            return true;
        }
        if (waitsForFirstBitrate(index))
            continue;
        cut(index);
        return true;
    }
    return false;
}

bool ParallelPreviews::waitsForFirstBitrate(int index) const
{
    return m_settings.kbps == 0 && m_settings.join && index > 0 && m_work.front().step == Step::Probe;
}

void ParallelPreviews::probe(int index)
{
    m_work[size_t(index)].process = launch(GetBitrate::ProbeCommand(m_tools.ffmpeg, m_results[index].source),
                                           [this, index](const RunResult &result) { probed(index, result); });
}

void ParallelPreviews::probed(int index, const RunResult &result)
{
    Work &work = m_work[size_t(index)];
    const QString capture = QString::fromUtf8(result.errorOutput);
    const QString name = Main::FileNameOf(m_results[index].source);
    work.step = Step::Cut;
    if (m_settings.kbps == 0 && (!m_settings.join || index == 0)) {
        work.bitrate = GetBitrate::BitrateFromCapture(capture);
        if (work.bitrate.isEmpty())
            return fail(index, QStringLiteral("FFmpeg found no MP3 bit rate in %1 (%2)").arg(name, result.lastErrorLine()));
    }
    if (m_settings.startShare) {
        work.length = lengthFromCapture(capture);
        if (!work.length)
            return fail(index, QStringLiteral("FFmpeg found no length of %1 (%2)").arg(name, result.lastErrorLine()));
    }
}

QString ParallelPreviews::bitrateFor(int index) const
{
    if (m_settings.kbps > 0)
        return QString::number(m_settings.kbps);
    return m_work[m_settings.join ? 0 : size_t(index)].bitrate;
}

CommandLine ParallelPreviews::cutCommand(int index, const QString &writeTo) const
{
    const Work &work = m_work[size_t(index)];
    const double start = m_settings.startShare ? *m_settings.startShare * *work.length : m_settings.startSeconds;
    CommandLine command = PreviewCommands::Cut(m_tools.sox, m_results[index].source, bitrateFor(index), writeTo,
                                               secondsText(start), secondsText(m_settings.durationSeconds));
    if (m_settings.fadeIn > 0 || m_settings.fadeOut > 0) {
        // "-0" ends the fade-out at the end of the cut, also when the track ends early.
        command.plain(QStringLiteral(" fade ") + secondsText(m_settings.fadeIn));
        if (m_settings.fadeOut > 0)
            command.plain(QStringLiteral(" -0 ") + secondsText(m_settings.fadeOut));
    }
    return command;
}

void ParallelPreviews::cut(int index)
{
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    if (bitrateFor(index).isEmpty())
        return fail(index, QStringLiteral("the joined previews take the bit rate of %1, which is unknown (%2)")
                               .arg(Main::FileNameOf(m_results.first().source), m_results.first().reason));
    if (m_dryRun) {
        result.command = cutCommand(index, result.preview);
        work.step = Step::Done;
        ++m_finished;
        reportInOrder();
        return;
    }
    work.writing = m_settings.join ? result.preview : writingName(result.preview);
    result.command = cutCommand(index, work.writing);
    work.process = launch(*result.command, [this, index](const RunResult &ended) { cutEnded(index, ended); });
}

void ParallelPreviews::cutEnded(int index, const RunResult &ended)
{
    Result &result = m_results[index];
    Work &work = m_work[size_t(index)];
    QString problem = soxProblem(ended, work.writing);
    if (problem.isEmpty() && !m_settings.join && !commit(work.writing, result.preview))
        problem = QStringLiteral("the preview could not be saved as %1").arg(result.preview);
    if (!problem.isEmpty()) {
        QFile::remove(work.writing);
        return fail(index, problem);
    }
    work.writing.clear();
    work.step = Step::Done;
    result.made = true;
    ++m_finished;
    reportInOrder();
}

void ParallelPreviews::join()
{
    if (madeCount() == 0) {
        m_joined->reason = QStringLiteral("none of the previews could be made");
        emit joinedReady();
        return finish();
    }
    QStringList pieces;
    for (const Result &result : std::as_const(m_results)) {
        if (result.made || (m_dryRun && result.command))
            pieces.append(result.preview);
    }
    if (m_dryRun) {
        m_joined->command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), m_joined->preview);
        emit joinedReady();
        return finish();
    }
    m_joinWriting = writingName(m_joined->preview);
    m_joined->command = PreviewCommands::Join(m_tools.sox, pieces, bitrateFor(0), m_joinWriting);
    launch(*m_joined->command, [this](const RunResult &result) { joinEnded(result); });
}

void ParallelPreviews::joinEnded(const RunResult &result)
{
    QString problem = soxProblem(result, m_joinWriting);
    if (problem.isEmpty() && !commit(m_joinWriting, m_joined->preview))
        problem = QStringLiteral("the joined preview could not be saved as %1").arg(m_joined->preview);
    if (!problem.isEmpty())
        QFile::remove(m_joinWriting);
    m_joinWriting.clear();
    m_joined->made = problem.isEmpty();
    m_joined->reason = problem;
    emit joinedReady();
    finish();
}

QProcess *ParallelPreviews::launch(const CommandLine &commandLine, std::function<void(const RunResult &)> ended)
{
    auto *process = new QProcess(this);
    m_running.append(process);
    const auto done = [this, process, ended](const RunResult &result) {
        m_running.removeOne(process);
        process->deleteLater();
        for (Work &work : m_work) {
            if (work.process == process)
                work.process = nullptr;
        }
        if (result.outcome == RunResult::Outcome::Crashed && result.exitCode == SIGINT)
            return stop();
        ended(result);
        pump();
    };
    connect(process, &QProcess::finished, this, [process, done] { done(Shell32::FinishedRun(*process)); });
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(Shell32::FailedStart(*process));
    });
    Shell32::Prepare(*process, commandLine);
    process->start();
    return process;
}

void ParallelPreviews::fail(int index, const QString &reason)
{
    Work &work = m_work[size_t(index)];
    if (work.step == Step::Done)
        return;
    work.step = Step::Done;
    m_results[index].reason = reason;
    ++m_finished;
    reportInOrder();
}

void ParallelPreviews::reportInOrder()
{
    while (m_reported < total() && m_work[size_t(m_reported)].step == Step::Done)
        emit resultReady(m_reported++);
}

void ParallelPreviews::stop()
{
    if (m_done)
        return;
    m_stopped = true;
    killTools();
    for (int index = 0; index < total(); ++index) {
        if (m_work[size_t(index)].step != Step::Done)
            m_results[index].reason = QStringLiteral("stopped before it was made");
    }
    finish();
}

void ParallelPreviews::killTools()
{
    const QList<QProcess *> running = m_running;
    m_running.clear();
    for (QProcess *process : running) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished();
        delete process;
    }
    for (Work &work : m_work) {
        work.process = nullptr;
        if (!work.writing.isEmpty())
            QFile::remove(work.writing);
    }
    if (!m_joinWriting.isEmpty())
        QFile::remove(m_joinWriting);
    m_joinWriting.clear();
}

void ParallelPreviews::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_pieces.reset();
    emit finished();
}

int ParallelPreviews::madeCount() const
{
    int made = 0;
    for (const Result &result : m_results)
        made += result.made || (m_dryRun && result.command) ? 1 : 0;
    return made;
}

QString ParallelPreviews::runningSource() const
{
    for (size_t index = 0; index < m_work.size(); ++index) {
        if (m_work[index].process)
            return m_results[int(index)].source;
    }
    return m_running.isEmpty() ? QString() : m_joined->preview;
}
