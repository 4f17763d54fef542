#include "clitestcase.h"

#include "audiofixtures.h"
#include "tagfixtures.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

QString CliTestCase::program()
{
    return qEnvironmentVariable("LUMBRISK_BUILD_DIR") + QStringLiteral("/installed/bin/lumbrisk-cli");
}

bool CliTestCase::copyAnew(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

bool CliTestCase::linkAnew(const QString &target, const QString &link)
{
    QFile::remove(link);
    return QFile::link(target, link);
}

void CliTestCase::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), "install the build tree first (the install_tree test)");
    m_music = folder(QStringLiteral("music"));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone A.mp3"), 5, 440));
    QVERIFY(Fixtures::MakeTone(m_music + QStringLiteral("/Tone B.mp3"), 6, 660));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/notes.txt"), "not audio"));
    m_masters = folder(QStringLiteral("masters"));
    for (const char *name : {"flac24.flac", "wav.wav", "aiff.aiff", "ogg.ogg"})
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), {m_music + QStringLiteral("/Tone A.mp3"), QStringLiteral("-b"),
                                                           QStringLiteral("24"), m_masters + QLatin1Char('/') + QString::fromLatin1(name)}),
                 0);
    for (const char *codec : {"aac", "libopus"}) {
        const QString name = m_masters + (qstrcmp(codec, "aac") == 0 ? QStringLiteral("/m4a.m4a") : QStringLiteral("/opus.opus"));
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                                              m_music + QStringLiteral("/Tone A.mp3"), QStringLiteral("-c:a"),
                                                              QString::fromLatin1(codec), name}),
                 0);
    }
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/starts.csv"),
                                "file,start,duration\r\nTone B.mp3,50%,\r\n\"Tone A.mp3\",1,2\r\n"));
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/bad starts.csv"), "Tone A.mp3,1\nTone C.mp3,1\n"));
    QCOMPARE(::mkfifo(QFile::encodeName(m_music + QStringLiteral("/pipe.mp3")).constData(), 0600), 0);
    m_tagged = folder(QStringLiteral("tagged"));
    for (const QString name : {QStringLiteral("A"), QStringLiteral("B")}) {
        const QString song = m_tagged + QLatin1Char('/') + name + QStringLiteral(".mp3");
        QVERIFY(Fixtures::MakeTone(song, 5));
        QVERIFY(TagFixtures::WriteAlbumSong(song, QStringLiteral("Café ") + name));
    }
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {m_music + QStringLiteral("/Tone A.mp3"), m_tagged + QStringLiteral("/C.au")}), 0);
    m_album = std::make_unique<FolderTree>(folder(QStringLiteral("album")));
    for (const char *track : {"Track 10.mp3", "Track 1.mp3", "track 2.mp3"})
        QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_album->path(QString::fromLatin1(track))));
    m_latin1 = std::make_unique<FolderTree>(folder(QStringLiteral("latin1")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_latin1->path(QStringLiteral("plain.mp3"))));
    m_latin1->withBytes("caf\xe9.mp3", false);
    m_tree = folder(QStringLiteral("tree"));
    QVERIFY(QDir(m_tree).mkpath(QStringLiteral("Artist A/Album 1")) && QDir(m_tree).mkpath(QStringLiteral("Artist B")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), m_tree + QStringLiteral("/Artist A/Album 1/Track 01.mp3")));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), m_tree + QStringLiteral("/Artist B/Track 01.mp3")));
}

void CliTestCase::cleanupTestCase()
{
    // QTemporaryDir cannot remove a name that is not valid UTF-8; none is made when the set-up failed.
    if (m_latin1)
        m_latin1->removeAll();
    QCOMPARE(Fixtures::FilesBelow(folder(QStringLiteral("config"))), QStringList()); // no settings file
}

QString CliTestCase::folder(const QString &name) const
{
    QDir(m_dir.path()).mkpath(name);
    return m_dir.filePath(name);
}

QStringList CliTestCase::previewsIn(const QString &name) const
{
    return Fixtures::FilesBelow(folder(name));
}

// Without any display and with a settings folder of its own, which must stay empty; PATH
// and TEMP as given, when given. The caller starts it.
QProcess *CliTestCase::prepare(const QStringList &arguments, const QString &path, const QString &temp,
                           const QString &rawArgument)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(display));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder(QStringLiteral("config")));
    if (!path.isEmpty())
        environment.insert(QStringLiteral("PATH"), path);
    if (!temp.isEmpty())
        environment.insert(QStringLiteral("TEMP"), temp);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(m_music);
    if (rawArgument.isEmpty()) {
        process->setProgram(program());
        process->setArguments(arguments);
        return process;
    }
    environment.insert(QStringLiteral("RAW"), rawArgument);
    process->setProcessEnvironment(environment);
    process->setProgram(QStringLiteral("sh"));
    process->setArguments(QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" \"$(printf \"$RAW\")\""),
                                      program()} + arguments);
    return process;
}

QProcess *CliTestCase::launch(const QStringList &arguments, const QString &path, const QString &temp,
                          const QString &rawArgument)
{
    QProcess *process = prepare(arguments, path, temp, rawArgument);
    process->start();
    return process;
}

CliTestCase::Run CliTestCase::run(const QStringList &arguments, const QString &path, const QString &temp, const QString &rawArgument)
{
    QProcess *process = launch(arguments, path, temp, rawArgument);
    Run result;
    if (!process->waitForFinished(60000))
        return result;
    result.status = process->exitCode();
    result.out = QString::fromUtf8(process->readAllStandardOutput());
    result.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return result;
}

// Brown noise carries the loudness (-19 LUFS) and clicks the peaks (0 dBFS): at -14 LUFS
// they would pass the ceiling by almost 6 dB, which holds a plain gain back as much.
QString CliTestCase::loudMaster(const QString &extension)
{
    const QString loud = folder(QStringLiteral("loud"));
    const QString wav = loud + QStringLiteral("/Loud.wav");
    const QString made = loud + QStringLiteral("/Loud.") + extension;
    const auto sox = [](const QString &effects, const QStringList &files) {
        QStringList arguments = files;
        // No comment, so that neither a run's previews nor a dry run's lines carry tags.
        arguments.insert(files.size() - 1, QStringLiteral("--comment"));
        arguments.insert(files.size(), QString());
        return QProcess::execute(QStringLiteral("sox"), arguments + effects.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    };
    // Repeatable noise: now and then a master made by chance asked the limiter for more than it
    // may take, and its preview was held back.
    const QStringList synth{QStringLiteral("-R"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                            QStringLiteral("-c"), QStringLiteral("2")};
    if (!QFile::exists(wav)) {
        const QString noise = loud + QStringLiteral("/noise.wav");
        const QString clicks = loud + QStringLiteral("/clicks.wav");
        sox(QStringLiteral("synth 5 brownnoise gain -7"), synth + QStringList{noise});
        sox(QStringLiteral("synth 5 square 3 highpass 4000"), synth + QStringList{clicks});
        sox(QStringLiteral("gain -n -0.1"), {QStringLiteral("-m"), QStringLiteral("-v"), QStringLiteral("0.8"), noise,
                                             QStringLiteral("-v"), QStringLiteral("0.8"), clicks, wav});
    }
    if (QFile::exists(made))
        return made;
    if (extension == QLatin1String("mp3") || extension == QLatin1String("flac"))
        sox(QString(), {wav, made});
    else if (extension == QLatin1String("320.mp3"))
        sox(QString(), {wav, QStringLiteral("-C"), QStringLiteral("320"), made});
    else if (extension == QLatin1String("dc.flac"))
        sox(QStringLiteral("vol 0.6 dcshift 0.35"), {wav, made});
    else
        QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), wav,
                                                      QStringLiteral("-map_metadata"), QStringLiteral("-1"), QStringLiteral("-fflags"),
                                                      QStringLiteral("+bitexact"), QStringLiteral("-flags:a"), QStringLiteral("+bitexact"),
                                                      QStringLiteral("-c:a"),
                                                      extension == QLatin1String("m4a") ? QStringLiteral("aac") : QStringLiteral("libopus"),
                                                      made});
    return made;
}
