#pragma once
// The command line of lumbrisk-cli, read and checked before anything runs: a bad option
// or value, or a missing folder, is one line naming the problem, and nothing is made.

#include "preview/parallelpreviews.h"

#include <QCommandLineParser>

struct CliOptions {
    PreviewSettings settings;
    QStringList paths;              // FILE|FOLDER arguments, as given
    QString extension = QStringLiteral("mp3"); // which files FOLDER arguments give
    bool dryRun = false;
    bool quiet = false;
    bool json = false;
};

class CliCommandLine {
public:
    CliCommandLine();

    enum class Reading {
        Run,      // options() holds what to do
        Answered, // --help or --version printed their answer on standard output
        Refused,  // problem() names what is wrong
    };
    // Reads the arguments, the program's name first.
    Reading read(const QStringList &arguments);
    const CliOptions &options() const { return m_options; }
    QString problem() const { return m_problem; }

private:
    bool check();
    // Each reads a group of options; false when one is refused.
    bool readTimes(PreviewSettings &settings);
    bool readBitrate(PreviewSettings &settings);
    bool readJobs(PreviewSettings &settings);
    bool readModes(CliOptions &options);
    bool readPlaces(CliOptions &options);
    // Refuses a relative name when the current folder cannot be read.
    bool checkRelativeNames();
    // Keeps the problem; always false.
    bool refuse(const QString &problem);

    QCommandLineParser m_parser;
    CliOptions m_options;
    QString m_problem;
};
