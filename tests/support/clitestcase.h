#pragma once
// The base of the tst_cli_* test cases: lumbrisk-cli as installed, run with real SoX and
// FFmpeg and no display, and the songs, masters and folders its runs share, made once per
// test case.

#include "foldertree.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class CliTestCase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

protected:
    struct Run {
        int status = -1;
        QString out;
        QString err;
    };

    static QString program();
    // A copy, or a link, made anew: a data function runs again for each of its rows asked for.
    static bool copyAnew(const QString &from, const QString &to);
    static bool linkAnew(const QString &target, const QString &link);

    // rawArgument: printf's format of one more argument, for bytes that are not valid UTF-8.
    QProcess *prepare(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
                      const QString &rawArgument = QString());
    QProcess *launch(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
                     const QString &rawArgument = QString());
    Run run(const QStringList &arguments, const QString &path = QString(), const QString &temp = QString(),
            const QString &rawArgument = QString());
    QString folder(const QString &name) const;
    QStringList previewsIn(const QString &name) const;
    // A loud master of the kind the extension names (mp3, 320.mp3, flac, wav, m4a, opus), made once.
    QString loudMaster(const QString &extension);

    QTemporaryDir m_dir;
    // Tone A.mp3 (5 s), Tone B.mp3 (6 s), both 192 kbps, notes.txt, pipe.mp3, a FIFO, and
    // starts.csv, giving each tone its own cut, and bad starts.csv, naming a file not there
    QString m_music;
    QString m_masters; // Tone A (5 s) as 24-bit FLAC, WAV, AIFF, Ogg Vorbis, M4A (AAC) and Opus
    QString m_tagged; // A.mp3 and B.mp3, tagged songs of one album, and C.au, whose tags TagLib cannot read
    std::unique_ptr<FolderTree> m_album;  // Track 1, track 2 and Track 10.mp3, copies of Tone A
    std::unique_ptr<FolderTree> m_latin1; // plain.mp3 and caf\351.mp3, a name in Latin-1
    QString m_tree;  // Artist A/Album 1/Track 01.mp3 (Tone A) and Artist B/Track 01.mp3 (Tone B)
};
