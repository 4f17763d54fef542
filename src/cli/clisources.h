#pragma once
// The sources a run of lumbrisk-cli works on: its FILE arguments as given, its FOLDER
// arguments scanned for songs (previews left out), or else the rows of --starts.

#include "cli/clioptions.h"
#include "filelist/addfolder.h"

#include <QList>
#include <QStringList>

class Prompts;
class ScanProgress;

struct Sources {
    QStringList paths;         // absolute, in list order
    QStringList subfolders;    // with --keep-folders: each path's folder below its FOLDER argument
    QStringList shownNames;    // each path as a person finds it: "Album 2/Track 5.flac" below its FOLDER
    QList<QByteArray> leftOut; // absolute paths whose names are not valid UTF-8
    QStringList notes;         // what a folder held instead of songs, and the previews left out of it
    QStringList roots;         // the FOLDER arguments, absolute, also as their links resolve
    // Folders below them that could not be read whole, and why: "the folder could not be read: Permission denied".
    QList<QPair<QString, QString>> unread;
    // Why --prune may remove nothing this run ("" when it may): a folder that could not be
    // read, or a FOLDER argument without songs (a share not mounted), may hide songs.
    QString pruneHeld;
};

// FILE arguments as absolute paths, FOLDER arguments scanned as the window scans a folder;
// what cannot be handed on unchanged is left out, and a scan ends early when stopped says so.
// Without any, the rows of --starts.
Sources SourcesOf(const CliOptions &options, Prompts &prompts, ScanProgress &progress,
                  const AddFolder::Stopped &stopped);
