#include "platform/toolrun.h"

#include <QProcess>

#include <csignal>

using Shell32::RunResult;

namespace {

RunResult endOf(QProcess &process)
{
    return process.error() == QProcess::FailedToStart ? Shell32::FailedStart(process) : Shell32::FinishedRun(process);
}

RunResult pipedEnd(const RunResult &tool, RunResult encoder)
{
    const bool pipeClosed = (tool.outcome == RunResult::Outcome::Crashed && tool.exitCode == SIGPIPE)
                            || tool.errorOutput.contains("Broken pipe");
    if ((!tool.succeeded() && !pipeClosed) || encoder.succeeded())
        return tool;
    encoder.errorOutput = "the encoder (FFmpeg): " + encoder.errorOutput.trimmed();
    if (encoder.outcome == RunResult::Outcome::FailedToStart)
        encoder.errorOutput += encoder.startError.toUtf8();
    return encoder;
}

} // namespace

ToolPipeline::ToolPipeline(const ToolRun &run, QObject *owner)
    : m_tool(new QProcess(owner)),
      m_decoderErrors(std::make_shared<Shell32::OutputTail>()),
      m_decoderFailed(std::make_shared<bool>(false))
{
    Shell32::Prepare(*m_tool, run.tool);
    if (run.decoder) {
        m_decoder = new QProcess(m_tool);
        Shell32::Prepare(*m_decoder, *run.decoder);
        QObject::connect(m_decoder, &QProcess::readyReadStandardError, m_decoder,
                         [decoder = m_decoder, errors = m_decoderErrors] {
                             errors->append(decoder->readAllStandardError());
                         });
        QObject::connect(m_decoder, &QProcess::errorOccurred, m_decoder,
                         [failed = m_decoderFailed](QProcess::ProcessError error) {
                             *failed = *failed || error == QProcess::FailedToStart;
                         });
        m_decoder->setStandardOutputProcess(m_tool);
    } else if (run.samples.samples) {
        SampleFeed::Attach(*m_tool, run.samples);
    }
    if (run.encoder) {
        m_encoder = new QProcess(m_tool);
        Shell32::Prepare(*m_encoder, *run.encoder);
        m_tool->setStandardOutputProcess(m_encoder);
    }
}

QList<QProcess *> ToolPipeline::processes() const
{
    QList<QProcess *> processes{m_tool};
    for (QProcess *other : {m_decoder, m_encoder}) {
        if (other)
            processes.append(other);
    }
    return processes;
}

void ToolPipeline::start() const
{
    for (QProcess *other : {m_decoder, m_encoder}) {
        if (other)
            other->start();
    }
    m_tool->start();
}

void ToolPipeline::kill() const
{
    for (QProcess *process : processes()) {
        Shell32::Kill(*process);
        process->waitForFinished();
    }
}

std::optional<RunResult> ToolPipeline::decoderEnd(Shell32::WaitFor wait) const
{
    if (!m_decoder)
        return std::nullopt;
    if (*m_decoderFailed)
        return Shell32::FailedStart(*m_decoder);
    return Shell32::EndFeeder(*m_decoder, *m_decoderErrors, Shell32::FeederEndMilliseconds, wait);
}

bool ToolPipeline::ended() const
{
    return m_tool->state() == QProcess::NotRunning && (!m_encoder || m_encoder->state() == QProcess::NotRunning);
}

RunResult ToolPipeline::end() const
{
    const RunResult tool = endOf(*m_tool);
    return m_encoder ? pipedEnd(tool, endOf(*m_encoder)) : tool;
}
