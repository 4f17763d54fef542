#pragma once
// The command line of lumbrisk-cli, read and checked before anything runs: a bad option
// or value, or a missing folder, is one line naming the problem, and nothing is made.

#include "cli/reportoptions.h"
#include "preview/previewsettings.h"
#include "preview/startlist.h"

#include <QCommandLineParser>
#include <QSet>

struct CliOptions {
    PreviewSettings settings;
    QList<QByteArray> paths;        // FILE|FOLDER arguments, as given: bytes, not always valid UTF-8
    QList<StartList::Row> starts;   // --starts: each song's own cut; without paths, the list
    QString startsFolder;           // --starts: the CSV's folder, whose tree --keep-folders keeps
    QStringList startsGone;         // --starts with --update and FOLDER arguments: each row left out, as told
    QStringList extensions;         // which files FOLDER arguments give; empty: every audio format
    bool keepFolders = false;       // FOLDER arguments' trees are kept below the output folder
    bool dryRun = false;
    bool quiet = false;
    bool json = false;
    ReportOptions::Chosen reports;  // waveform files, review page
};

class CliCommandLine {
public:
    CliCommandLine();

    enum class Reading {
        Run,      // options() holds what to do
        Answered, // --help or --version printed their answer on standard output
        Refused,  // problem() names what is wrong
    };
    // Reads the arguments as the program got them, the program's name first.
    Reading read(const QList<QByteArray> &arguments);
    const CliOptions &options() const { return m_options; }
    QString problem() const { return m_problem; }
    // The options that take a value, each name as typed: "-o", "--output", ...
    static QSet<QString> valueOptions();

private:
    bool check();
    // Each reads a group of options; false when one is refused.
    bool readTimes(PreviewSettings &settings);
    bool readCrossfade(PreviewSettings &settings);
    bool readStarts(CliOptions &options);
    bool checkFits(const CliOptions &options);
    bool readFormat(PreviewSettings &settings);
    bool readBitrate(PreviewSettings &settings);
    bool readJobs(PreviewSettings &settings);
    bool readLoudness(PreviewSettings &settings);
    bool readModes(CliOptions &options);
    bool readPlaces(CliOptions &options);
    bool readReports(CliOptions &options);
    // Refuses a relative name when the current folder cannot be read.
    bool checkRelativeNames();
    // Keeps the problem; always false.
    bool refuse(const QString &problem);

    QCommandLineParser m_parser;
    QList<QByteArray> m_arguments;
    CliOptions m_options;
    QString m_problem;
};
