// lumbrisk-cli runs side by side, and parallel jobs and dry-run lines, which make the very same
// previews as one tool at a time.

#include "clitestcase.h"
#include "audiofixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

namespace {

// A PATH whose sox, made in the folder, notes that it started (a file "started.<pid>"), then
// takes a second before it runs the real SoX: another run is started meanwhile.
QString slowTools(const QString &folder)
{
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$1\" in -h) exec /usr/bin/sox \"$@\";; esac\n: > '%1/started.'$$\n"
                                         "sleep 1\nexec /usr/bin/sox \"$@\"").arg(folder));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

} // namespace

class TestCliParallel : public CliTestCase {
    Q_OBJECT

private slots:
    void twoRunsIntoOneFolderDoNotClash();
    void jobsDoNotChangeThePreviews();
    void dryRunLinesMakeTheSamePreviews_data();
    void dryRunLinesMakeTheSamePreviews();
    void overlappingNightsMakeNothingTwice_data();
    void overlappingNightsMakeNothingTwice();
};

// Two runs at once into one folder, each with its own a.mp3 (the README's distributed use),
// take turns: the later one waits, and says so. The preview the first saved meanwhile came
// after the later one began, so it is never replaced: the later one saves under a free name
// and says so. A third run replaces an earlier run's preview.
void TestCliParallel::twoRunsIntoOneFolderDoNotClash()
{
    const QString tools = folder(QStringLiteral("together"));
    const QString path = slowTools(tools);
    const QString shared = folder(QStringLiteral("shared"));
    const QStringList sources{folder(QStringLiteral("d1")) + QStringLiteral("/a.mp3"),
                              folder(QStringLiteral("d2")) + QStringLiteral("/a.mp3")};
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone A.mp3"), sources[0]));
    QVERIFY(QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), sources[1]));
    QList<QProcess *> runs;
    for (const QString &source : sources) {
        runs << launch({QStringLiteral("--json"), QStringLiteral("-o"), shared, source}, path);
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(tools).entryList({QStringLiteral("started.*")}).isEmpty(), 20000);
    }
    QStringList planned;
    QList<double> pitches;
    for (QProcess *process : std::as_const(runs)) {
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitCode(), 0);
        const QJsonObject report = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
        const QJsonObject preview = report[QStringLiteral("previews")].toArray().at(0).toObject();
        QVERIFY(preview[QStringLiteral("made")].toBool());
        planned << preview[QStringLiteral("planned")].toString();
        pitches << Fixtures::RoughFrequency(preview[QStringLiteral("preview")].toString(), 0.2, 1.5);
        const QString said = QString::fromUtf8(process->readAllStandardError());
        QCOMPARE(said.contains(QStringLiteral("made under a free name: ")), !planned.constLast().isEmpty());
        QCOMPARE(said.contains(QStringLiteral("waiting for another lumbrisk-cli run into %1 to end").arg(shared)),
                 process == runs.constLast());
    }
    planned.sort();
    QCOMPARE(planned, (QStringList{QString(), shared + QStringLiteral("/a_Preview.mp3")}));
    QVERIFY2(pitches[1] > 1.3 * pitches[0], "each preview holds its own run's source");
    const QStringList both{QStringLiteral("a_Preview (2).mp3"), QStringLiteral("a_Preview.mp3")};
    QCOMPARE(previewsIn(QStringLiteral("shared")), both);

    const Run again = run({QStringLiteral("-o"), shared, sources[1]});
    QCOMPARE(again.status, 0);
    QVERIFY2(!again.err.contains(QStringLiteral("free name")), qPrintable(again.err));
    QCOMPARE(previewsIn(QStringLiteral("shared")), both);
    QVERIFY(Fixtures::RoughFrequency(shared + QStringLiteral("/a_Preview.mp3"), 0.2, 1.5) > 1.3 * pitches[0]);
}

void TestCliParallel::jobsDoNotChangeThePreviews()
{
    for (const QString jobs : {QStringLiteral("1"), QStringLiteral("4")}) {
        const Run result = run({QStringLiteral("-j"), jobs, QStringLiteral("-s"), QStringLiteral("25%"),
                                QStringLiteral("-o"), folder(QStringLiteral("jobs") + jobs), m_music});
        QCOMPARE(result.status, 0);
    }
    const QStringList made = previewsIn(QStringLiteral("jobs1"));
    QCOMPARE(made.size(), 2);
    QCOMPARE(previewsIn(QStringLiteral("jobs4")), made);
    for (const QString &name : made)
        QCOMPARE(Fixtures::Contents(folder(QStringLiteral("jobs4/")) + name),
                 Fixtures::Contents(folder(QStringLiteral("jobs1/")) + name));
}

void TestCliParallel::dryRunLinesMakeTheSamePreviews_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");      // of the dry run and of the real run
    QTest::addColumn<QString>("madeAlso"); // one of the files made
    QTest::newRow("separate, with fades")
        << QStringList{QStringLiteral("--fade-in"), QStringLiteral("0.5"), QStringLiteral("--fade-out"),
                       QStringLiteral("0.5"), QStringLiteral("-b"), QStringLiteral("same")}
        << 0 << "Tone A_Preview.mp3";
    QTest::newRow("joined") << QStringList{QStringLiteral("--join"), QStringLiteral("-b"), QStringLiteral("24")} << 0
                            << "Joined_Preview.mp3";
    // Each line's gain comes from a decoding the dry run measured; the samples a run measured
    // with its fades reach SoX as they came, as the line's own decoding gives them.
    QTest::newRow("separate, at a loudness, with fades")
        << QStringList{QStringLiteral("--loudness"), QStringLiteral("-23"), QStringLiteral("--fade-in"), QStringLiteral("0.5"),
                       QStringLiteral("--fade-out"), QStringLiteral("0.4")}
        << 0 << "Tone A_Preview.mp3";
    // The line of a limited preview decodes its stretch as the run did, by lumbrisk-cli for an
    // MP3 and by SoX (after FFmpeg) for the others, and has lumbrisk-cli limit it; the tones
    // reach the loudness without it.
    QTest::newRow("separate, limited, with fades")
        << QStringList{QStringLiteral("--loudness"), QStringLiteral("-14"), QStringLiteral("--limit"), QStringLiteral("--fade-in"),
                       QStringLiteral("0.5"), QStringLiteral("--fade-out"), QStringLiteral("0.4"), loudMaster(QStringLiteral("mp3")),
                       loudMaster(QStringLiteral("flac")), loudMaster(QStringLiteral("m4a"))}
        << 0 << "Loud_Preview (3).mp3";
    // The pipe is left out; the lines must still make their private folder first.
    QTest::newRow("joined, after a pipe") << QStringList{QStringLiteral("--join"), QStringLiteral("pipe.mp3")} << 1
                                          << "Joined_Preview.mp3";
    // Two "Track 01.mp3" in different folders, each in its own folder below the output.
    QTest::newRow("kept folders") << QStringList{QStringLiteral("--keep-folders"), m_tree} << 0
                                  << "Artist A/Album 1/Track 01_Preview.mp3";
    QTest::newRow("joined per kept folder") << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders"), m_tree}
                                            << 0 << "Artist B/Joined_Preview.mp3";
    // SoX's lines pipe into FFmpeg's encoder, after the decoding and the limiter's.
    QTest::newRow("AAC, limited") << QStringList{QStringLiteral("--format"), QStringLiteral("aac"), QStringLiteral("--loudness"),
                                                 QStringLiteral("-14"), QStringLiteral("--limit"), loudMaster(QStringLiteral("mp3")),
                                                 loudMaster(QStringLiteral("flac"))}
                                  << 0 << "Loud_Preview (2).m4a";
    // Opus's limiter line takes out what lies below 20 Hz first, as a run's limiter does.
    QTest::newRow("Opus, limited") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("--loudness"),
                                                  QStringLiteral("-14"), QStringLiteral("--limit"), loudMaster(QStringLiteral("mp3"))}
                                   << 0 << "Loud_Preview.opus";
    QTest::newRow("Opus, joined with a crossfade")
        << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("--join"), QStringLiteral("--crossfade"),
                       QStringLiteral("0.3")}
        << 0 << "Joined_Preview.opus";
}

// Into output folders that are not there yet: the real run makes its own, the dry run's
// lines make theirs, with the folders below them.
void TestCliParallel::dryRunLinesMakeTheSamePreviews()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, madeAlso);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QStringList common = arguments + QStringList{QStringLiteral("-d"), QStringLiteral("1"), QStringLiteral("Tone A.mp3"),
                                                       QStringLiteral("Tone B.mp3")};
    const QString shelled = m_dir.filePath(QStringLiteral("shelled-") + tag);
    const Run dry = run(QStringList{QStringLiteral("--dry-run"), QStringLiteral("-o"), shelled} + common);
    QCOMPARE(dry.status, status);
    QVERIFY(!QFileInfo::exists(shelled)); // a dry run makes nothing

    QProcess shell;
    const auto shelledLines = [&shell](const QString &lines) {
        shell.start(QStringLiteral("sh"), {QStringLiteral("-e"), QStringLiteral("-c"), lines});
        return shell.waitForFinished(30000) ? shell.exitCode() : -1;
    };
    QVERIFY2(shelledLines(dry.out) == 0, qPrintable(dry.out + shell.readAllStandardError()));
    const QString ran = m_dir.filePath(QStringLiteral("ran-") + tag);
    const Run real = run(QStringList{QStringLiteral("-o"), ran} + common);
    QCOMPARE(real.status, status);
    QVERIFY2(real.err.startsWith(QStringLiteral("lumbrisk-cli: made the folder ") + ran + QLatin1Char('\n')), qPrintable(real.err));
    const QStringList made = previewsIn(QStringLiteral("ran-") + tag);
    QVERIFY2(made.contains(madeAlso), qPrintable(made.join(QLatin1Char('\n'))));
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made);
    // The lines that versions 1.2.2 and 1.2.3 wrote read raw floats; a line whose song has
    // gone must fail and leave the preview it was to replace as it was.
    QString floats = dry.out;
    floats.replace(QRegularExpression(QStringLiteral("--decoded-stretch([^\n]*) -t wav - ")),
                   QStringLiteral("--stretch-floats\\1 -t f32 -r 44100 -c 2 - "));
    QString gone = dry.out;
    gone.replace(QStringLiteral("/Tone A.mp3"), QStringLiteral("/Gone.mp3"));
    QVERIFY2(floats == dry.out || shelledLines(floats) == 0, qPrintable(floats + shell.readAllStandardError()));
    QVERIFY(shelledLines(gone) > 0);
    QCOMPARE(previewsIn(QStringLiteral("shelled-") + tag), made); // nothing left beside them
    // The lines copy no tags, and so write no mark.
    for (const QString &name : made)
        QCOMPARE(Fixtures::AudioContents(shelled + QLatin1Char('/') + name), Fixtures::AudioContents(ran + QLatin1Char('/') + name));
    // New folders get the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const QString &name : QStringList{QString()} + made) {
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(ran + QLatin1Char('/') + name).constData(), &status), 0);
        if (S_ISDIR(status.st_mode))
            QCOMPARE(status.st_mode & 0777, 0777 & ~mask);
    }
}

// The nightly line started again while the night before still runs (cron overlapping itself):
// the second waits its turn, then finds every preview up to date, and none is made twice.
void TestCliParallel::overlappingNightsMakeNothingTwice_data()
{
    QTest::addColumn<bool>("beside");
    QTest::newRow("into an output folder") << false;
    QTest::newRow("beside the songs") << true;
}

void TestCliParallel::overlappingNightsMakeNothingTwice()
{
    QFETCH(bool, beside);
    const QString tag = QTest::currentDataTag();
    const QString tools = folder(QStringLiteral("overlap/") + tag);
    const QString songs = folder(QStringLiteral("overlap-songs/") + tag);
    for (const QString name : {QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")})
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + name, songs + QLatin1Char('/') + name));
    const QString out = beside ? songs : folder(QStringLiteral("overlap-out/") + tag);
    const QStringList night = QStringList{QStringLiteral("--update"), QStringLiteral("--prune"), QStringLiteral("-d"), QStringLiteral("1")}
                              + (beside ? QStringList{QStringLiteral("--beside")} : QStringList{QStringLiteral("-o"), out})
                              + QStringList{songs};
    QProcess *first = launch(night, slowTools(tools));
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(tools).entryList({QStringLiteral("started.*")}).isEmpty(), 20000);
    const Run second = run(night, tools + QStringLiteral(":/usr/bin:/bin"));
    QVERIFY(first->waitForFinished(30000));
    QCOMPARE(first->exitCode(), 0);
    QVERIFY2(second.status == 0, qPrintable(second.err));
    QVERIFY2(second.err.startsWith(QStringLiteral("lumbrisk-cli: waiting for another lumbrisk-cli run into ")), qPrintable(second.err));
    QVERIFY2(second.err.endsWith(QStringLiteral("nothing to make; up to date: 2\n")), qPrintable(second.err));
    QCOMPARE(Fixtures::FilesBelow(out).filter(QStringLiteral("_Preview")),
             (QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")}));
    QVERIFY2(!QFileInfo::exists(out + QStringLiteral("/.lumbrisk-run.lock")), "the lock file goes with the last run");
}

QTEST_GUILESS_MAIN(TestCliParallel)
#include "tst_cli_parallel.moc"
