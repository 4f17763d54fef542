#pragma once
// The options of lumbrisk-cli about what it writes besides the previews: a waveform file
// beside each preview, and the review page of the whole run.

#include "analysis/waveform.h"
#include "preview/previewsettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace ReportOptions {

struct Chosen {
    std::optional<Waveform::FileSettings> waveform;
    QString review; // the page's absolute path; "": none
};

QList<QCommandLineOption> All();
// "" when the options are right, else what is wrong with them. `outputFolder` and the folders
// above it are made before the run when missing, so a page may go into any of them.
// Refused already: a page path that is anything but a regular file or a new name (a folder,
// pipe, socket, device, or a link to one of them or to nothing).
QString Read(const QCommandLineParser &parser, const QString &outputFolder, Chosen &chosen);

// What a run reads and writes, as far as the page's path is concerned.
struct RunFiles {
    const QStringList &sources;    // absolute, in list order
    const QStringList &subfolders; // each source's folder below the output folder, or empty
    const PreviewSettings &settings;
};
// "" when the page may go to the path; else why not: it is a song of the run, or a file the
// run writes (a preview, a joined file, a waveform file), itself or through a link.
QString PageProblem(const QString &page, const RunFiles &run);

} // namespace ReportOptions
