#pragma once
// The options of lumbrisk-cli about what it writes besides the previews: a waveform file
// beside each preview, and the review page of the whole run.

#include "analysis/waveform.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>

namespace ReportOptions {

struct Chosen {
    std::optional<Waveform::FileSettings> waveform;
    QString review; // the page's absolute path; "": none
};

QList<QCommandLineOption> All();
// "" when the options are right, else what is wrong with them. `outputFolder` and the folders
// above it are made before the run when missing, so a page may go into any of them.
QString Read(const QCommandLineParser &parser, const QString &outputFolder, Chosen &chosen);

} // namespace ReportOptions
