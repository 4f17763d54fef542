// lumbrisk-cli --update and --prune: what a second run keeps, makes again and removes.

#include "clitestcase.h"
#include "audiofixtures.h"
#include "tagfixtures.h"

#include "platform/main.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestCliUpdate : public CliTestCase {
    Q_OBJECT

private slots:
    void updateKeepsWhatIsUpToDate_data();
    void updateKeepsWhatIsUpToDate();
    void pruneRemovesOnlyWhatIsProvedGone_data();
    void pruneRemovesOnlyWhatIsProvedGone();
};

// A second --update run over the same folder: what it keeps, and what it makes again.
void TestCliUpdate::updateKeepsWhatIsUpToDate_data()
{
    QTest::addColumn<QStringList>("both");  // options of both runs
    QTest::addColumn<QStringList>("again"); // options of the second run only
    QTest::addColumn<QString>("between");   // what changes between them
    QTest::addColumn<QString>("said");      // a pattern for the second run's standard error and output
    const QStringList none;
    const QString json = QStringLiteral("--json");
    QTest::newRow("unchanged: kept") << none << none << "" << "^nothing to make; up to date: 2$";
    QTest::newRow("a changed song: made again") << none << none << "touch Tone A" << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("other settings: made again") << none << QStringList{QStringLiteral("--fade-in"), QStringLiteral("0.5")}
                                                << "" << "^2 of 2 previews made$";
    // The mark alone tells that the preview is up to date.
    QTest::newRow("--no-tags: kept") << QStringList{QStringLiteral("--no-tags")} << none << ""
                                     << "^nothing to make; up to date: 2$";
    const QStringList loudness{QStringLiteral("--loudness"), QStringLiteral("-14")};
    QTest::newRow("--limit added: made again") << loudness << QStringList{QStringLiteral("--limit")} << ""
                                               << "^2 of 2 previews made$";
    QTest::newRow("--limit both times: kept") << loudness + QStringList{QStringLiteral("--limit")} << none << ""
                                              << "^nothing to make; up to date: 2$";
    QTest::newRow("beside their songs, which are scanned again") << QStringList{QStringLiteral("--beside")} << none
                                                                 << "touch Tone A" << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("--json") << none << QStringList{json} << ""
                            << "\"start\": 3,\\s+\"start_from\": \"seconds\",\\s+\"up_to_date\": true";
    QTest::newRow("--dry-run") << none << QStringList{QStringLiteral("--dry-run")} << "touch Tone A"
                               << "\\A\\S+ --no-glob '?\\S+/Tone A\\.mp3'? .*\nlumbrisk-cli: up to date: 1; the lines above make the other 1\n\\z";
    // A shop dry-runs its own nightly line, which asks for waveforms: nothing is written.
    QTest::newRow("--dry-run --waveform") << none << QStringList{QStringLiteral("--dry-run"), QStringLiteral("--waveform"), QStringLiteral("dat")}
                                          << "touch Tone A" << "^lumbrisk-cli: up to date: 1; the lines above make the other 1$";
    QTest::newRow("a preview cut short: made again") << none << none << "cut Tone A's preview"
                                                     << "^1 of 1 previews made; up to date: 1$";
    QTest::newRow("a mark of 1.2: made again, said once") << none << none << "mark Tone A's preview as 1.2 did"
                                                          << "^1 of 1 previews made; up to date: 1; made again: 1 whose marks "
                                                             "were written by a version before 1.3$";
    // A start approved as it was changes nothing, whatever gave it before; another remakes
    // that preview alone.
    QTest::newRow("a list of starts: the same second kept, another made")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Tone B at 0:04"
        << "^1 of 1 previews made; up to date: 1$";
    // A row of a song withdrawn since the review is an orphan: told, and the night goes on.
    QTest::newRow("a list of starts, a song withdrawn: told, not stopped")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Gone at 2"
        << "^lumbrisk-cli: --starts '.+/starts\\.csv', line 2: no such file: Gone\\.mp3: its song is gone, so the row is left out\n"
           "(?![\\s\\S]*Gone)[\\s\\S]*^nothing to make; up to date: 2$";
    // A new mix of a song whose start a review pinned keeps that start, and the console says so.
    QTest::newRow("a list of starts, a pinned song changed: told")
        << none << QStringList{QStringLiteral("--starts"), QStringLiteral("starts.csv")} << "list Tone A at 3, Tone B at 0:04; touch Tone A"
        << "^Tone A\\.mp3: changed since its start was pinned; kept at 0:03 as its row of --starts says, check it on "
           "the review page\n(?![\\s\\S]*changed since)";
    // A kept preview still gets what this run asks beside it.
    QTest::newRow("--waveform over kept previews") << none << QStringList{json, QStringLiteral("--waveform"), QStringLiteral("dat")}
                                                   << "" << "\"waveform\": \"[^\"]+/Tone B_Preview\\.dat\"";
    // Only a marked file is Lumbrisk's own: a song under a preview's name is a song, left alone.
    QTest::newRow("beside: a song under a preview's name") << QStringList{QStringLiteral("--beside")} << none
                                                          << "put a song under Tone A's preview's name"
                                                          << "^2 of 2 previews made; up to date: 1; 1 preview took a numbered "
                                                             "name, as files without Lumbrisk's mark hold its name \\(songs, or "
                                                             "previews made before version 1\\.3\\): Tone A_Preview\\.mp3$";
    QTest::newRow("a withdrawn song: its preview listed") << none << none << "remove Tone B"
                                                          << "^orphan: .+/Tone B_Preview\\.mp3: its song .+/Tone B\\.mp3 is gone$";
    QTest::newRow("a withdrawn song: --prune removes its preview")
        << none << QStringList{QStringLiteral("--prune")} << "remove Tone B"
        << "^nothing to make; up to date: 1; removed: 1 whose songs are gone$";
    // A sampler is kept as a preview is, and made again when what it is made of changed.
    const QStringList join{QStringLiteral("--join")};
    const QString joinedMade = QStringLiteral("^.+/Joined_Preview\\.mp3 made from 2 of 2 previews");
    QTest::newRow("a sampler: kept") << join << none << "" << "^nothing to make; up to date: 1 joined preview of 2 previews$";
    QTest::newRow("a sampler, a changed song: made again") << join << none << "touch Tone A" << joinedMade + "$";
    QTest::newRow("a sampler cut short: made again") << join << none << "cut the joined preview" << joinedMade + "$";
    QTest::newRow("a sampler, another crossfade: made again")
        << join << QStringList{QStringLiteral("--crossfade"), QStringLiteral("0.2")} << "" << joinedMade + "$";
    // A review that approves the starts a sampler was cut from (a fifth in: 1.008 s of Tone A's
    // 5.04, 1.207 of Tone B's 6.04) remakes nothing; one changed, its album.
    const QStringList shares{QStringLiteral("--join"), QStringLiteral("-s"), QStringLiteral("20%")};
    const QStringList starts{QStringLiteral("--starts"), QStringLiteral("starts.csv")};
    QTest::newRow("a sampler, its starts pinned as cut: kept")
        << shares << starts << "list Tone A at 1.008, Tone B at 1.207" << "^nothing to make; up to date: 1 joined preview of 2 previews$";
    QTest::newRow("a sampler, a start pinned elsewhere: made again")
        << shares << starts << "list Tone A at 1.008, Tone B at 2" << joinedMade + "$";
    QTest::newRow("a sampler, a song withdrawn: made again of the others")
        << join << none << "remove Tone B" << "^.+/Joined_Preview\\.mp3 made from 1 of 1 previews$";
    QTest::newRow("a sampler per album, one changed: that one made again")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders")} << none << "touch Tone A"
        << "^1 joined previews made from 1 of 1 previews; up to date: 1 joined preview of 1 previews$";
    QTest::newRow("a kept sampler, --json: its loudness as its mark records it")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--loudness"), QStringLiteral("-14")} << QStringList{json} << ""
        << "\"joined\": \\{\\s+\"loudness\": \\{[^}]*\"true_peak\": -\\d[^}]*\\},\\s+\"made\": false,\\s+"
           "\"preview\": \"[^\"]+\",\\s+\"up_to_date\": true";
    QTest::newRow("--waveform over a kept sampler") << join << QStringList{json, QStringLiteral("--waveform"), QStringLiteral("dat")}
                                                    << "" << "\"waveform\": \"[^\"]+/Joined_Preview\\.dat\"";
    // A shop makes the previews, then the samplers of the same songs: a song's preview that is
    // up to date is its piece, as it is, and the song is neither looked into nor cut again.
    QTest::newRow("previews, then a sampler of them: no song cut again")
        << none << join << "" << joinedMade + "; pieces taken from previews that were up to date: 2$";
    QTest::newRow("previews, then a sampler, a song changed: that one cut")
        << none << join << "touch Tone A" << joinedMade + "; pieces taken from previews that were up to date: 1$";
    QTest::newRow("previews, then a sampler, --dry-run: the preview in the join's line")
        << none << QStringList{QStringLiteral("--join"), QStringLiteral("--dry-run")} << "touch Tone B"
        << "--combine sequence --no-glob '.+/Tone A_Preview\\.mp3' --no-glob \"\\$work\"/0002\\.mp3 [\\s\\S]*^lumbrisk-cli: pieces taken from "
           "previews that were up to date: 1; the lines above make the others$";
}

void TestCliUpdate::updateKeepsWhatIsUpToDate()
{
    QFETCH(QStringList, both);
    QFETCH(QStringList, again);
    QFETCH(QString, between);
    QFETCH(QString, said);
    const QString songs = folder(QStringLiteral("update/") + QTest::currentDataTag());
    // With --keep-folders each song is an album of its own: A/Tone A.mp3, B/Tone B.mp3.
    const bool albums = both.contains(QStringLiteral("--keep-folders"));
    const auto below = [albums](const QString &root, const QString &name) {
        return root + QLatin1Char('/') + (albums ? name.mid(5, 1) + QLatin1Char('/') : QString()) + name;
    };
    for (const QString name : {QStringLiteral("Tone A.mp3"), QStringLiteral("Tone B.mp3")}) {
        QVERIFY(QDir().mkpath(QFileInfo(below(songs, name)).path()));
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + name, below(songs, name)));
    }
    QStringList options = QStringList{QStringLiteral("--update"), QStringLiteral("-d"), QStringLiteral("1")} + both;
    QString previews = songs;
    if (!both.contains(QStringLiteral("--beside")))
        options += QStringList{QStringLiteral("-o"), previews = folder(QStringLiteral("update-previews/") + QTest::currentDataTag())};
    QCOMPARE(run(options + QStringList{songs}).status, 0);
    const QString toneA = below(previews, QStringLiteral("Tone A_Preview.mp3"));
    for (const QString &step : between.split(QStringLiteral("; "))) {
        if (step.startsWith(QLatin1String("touch Tone "))) {
            QFile song(below(songs, step.mid(6) + QStringLiteral(".mp3")));
            QVERIFY(song.open(QIODevice::ReadWrite));
            QVERIFY(song.setFileTime(song.fileTime(QFileDevice::FileModificationTime).addSecs(60),
                                     QFileDevice::FileModificationTime));
        } else if (step == QLatin1String("cut Tone A's preview")) {
            QVERIFY(QFile::resize(toneA, QFileInfo(toneA).size() * 2 / 3));
        } else if (step == QLatin1String("cut the joined preview")) {
            const QString joined = previews + QStringLiteral("/Joined_Preview.mp3");
            QVERIFY(QFile::resize(joined, QFileInfo(joined).size() * 2 / 3));
        } else if (step == QLatin1String("mark Tone A's preview as 1.2 did")) {
            QVERIFY(TagFixtures::Write(toneA, {{QStringLiteral("LUMBRISK"), {QStringLiteral("1 size=1 modified=2.000000000 start=3")}}}));
        } else if (const QRegularExpressionMatch listed = QRegularExpression(QStringLiteral("^list Tone A at (\\S+), (.+) at (\\S+)$")).match(step);
                   listed.hasMatch()) {
            const QString rows =
                QStringLiteral("Tone A.mp3,%1\n%2.mp3,%3\n").arg(listed.captured(1), listed.captured(2), listed.captured(3));
            QVERIFY(Fixtures::WriteFile(songs + QStringLiteral("/starts.csv"), rows.toUtf8()));
        } else if (step == QLatin1String("put a song under Tone A's preview's name")) {
            QVERIFY(QFile::remove(toneA) && QFile::copy(m_music + QStringLiteral("/Tone B.mp3"), toneA));
        } else if (step == QLatin1String("remove Tone B")) {
            QVERIFY(QFile::remove(songs + QStringLiteral("/Tone B.mp3")));
        }
    }
    for (QString &option : again) {
        if (option.endsWith(QLatin1String(".csv")))
            option = songs + QLatin1Char('/') + option;
    }
    const Run second = run(options + again + QStringList{songs});
    QCOMPARE(second.status, 0);
    QVERIFY2(QRegularExpression(said, QRegularExpression::MultilineOption).match(second.out + second.err).hasMatch(),
             qPrintable(second.out + second.err));
    QCOMPARE(QFileInfo::exists(below(previews, QStringLiteral("Tone B_Preview.mp3"))),
             !again.contains(QStringLiteral("--prune")) && !both.contains(QStringLiteral("--join")));
    if (between.startsWith(QLatin1String("put a song")))
        QCOMPARE(Fixtures::Contents(toneA), Fixtures::Contents(m_music + QStringLiteral("/Tone B.mp3")));
}

// A song is gone only when it was recorded below a FOLDER argument of the run, the folder
// above it that is there could be read, and it is not there: every other doubt keeps the
// preview and says so. A withdrawn album's folder goes with its previews. A folder's mode
// refuses only another user than root: those rows run as nobody.
void TestCliUpdate::pruneRemovesOnlyWhatIsProvedGone_data()
{
    QTest::addColumn<QString>("change");   // shell lines in the row's folder, between the runs
    QTest::addColumn<QStringList>("arguments"); // the second run's FOLDER arguments
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");     // a pattern for a line of the second run's standard error
    QTest::addColumn<QStringList>("left"); // the output folder after it
    const QStringList albumOne{"Album 1", "Album 1/Tone A_Preview.json", "Album 1/Tone A_Preview.mp3"};
    const QStringList all = albumOne + QStringList{"Album 2", "Album 2/Tone B_Preview.json", "Album 2/Tone B_Preview.mp3"};
    const QString heldBack = QStringLiteral("^--prune removed nothing: .*/m/Album 2/ could not be read, and songs may lie there$");
    QTest::newRow("the music folder moved away") << "mv m m.unmounted" << QStringList{"m"} << false << 2
                                                 << "^lumbrisk-cli: '.*/m': no such file or folder$" << all;
    QTest::newRow("the music folder of mode 000") << "chmod 000 m" << QStringList{"m"} << true << 2
                                                  << "^lumbrisk-cli: '.*/m': the folder cannot be read: Permission denied$" << all;
    QTest::newRow("an album withdrawn") << "rm -r 'm/Album 2'" << QStringList{"m"} << false << 0
                                        << "^removed: .*/out/Album 2/: the previews removed left it empty$" << albumOne;
    QTest::newRow("an album folder of mode 000") << "chmod 000 'm/Album 2'" << QStringList{"m"} << true << 1 << heldBack << all;
    QTest::newRow("an album folder read, not searched") << "chmod 644 'm/Album 2'" << QStringList{"m"} << true << 1 << heldBack << all;
    QTest::newRow("an album behind a link to nothing")
        << "mv 'm/Album 2' elsewhere && ln -s '/nonexistent/Album 2' 'm/Album 2'" << QStringList{"m"} << false << 0
        << "^--prune kept 1 preview whose songs cannot be told gone: .*/Tone B_Preview\\.mp3 \\(its folder .*/m/Album 2 cannot be read\\)$"
        << all;
    QTest::newRow("a song recorded outside the run's folders")
        << "rm 'm/Album 2/Tone B.mp3'" << QStringList{"m/Album 1"} << false << 0
        << "^--prune kept 1 preview whose songs are not there but lie outside this run's folders: .*/Album 2/Tone B_Preview\\.mp3$"
        << all + QStringList{"Tone A_Preview.json", "Tone A_Preview.mp3"};
    // A share not mounted leaves its mount point empty.
    QTest::newRow("a FOLDER argument without songs")
        << "rm 'm/Album 2/Tone B.mp3' && mkdir mnt" << QStringList{"m", "mnt"} << false << 0
        << "^--prune removed nothing: .*/mnt holds no song, and songs may lie there$" << all;
    QTest::newRow("a file beside that is no waveform file")
        << "rm 'm/Album 2/Tone B.mp3' && echo '{\"peaks\": []}' > 'out/Album 2/Tone B_Preview.json'" << QStringList{"m"} << false << 0
        << "^removed: .*/out/Album 2/Tone B_Preview\\.mp3: its song .* is gone$"
        << albumOne + QStringList{"Album 2", "Album 2/Tone B_Preview.json"};
}

void TestCliUpdate::pruneRemovesOnlyWhatIsProvedGone()
{
    QFETCH(QString, change);
    QFETCH(QStringList, arguments);
    QFETCH(bool, asNobody);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QStringList, left);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (asNobody && (setpriv.isEmpty() || ::getuid() != 0))
        QSKIP("a folder's mode refuses only another user: needs setpriv, run as root");
    // Outside the suite's own folder, which only root may enter.
    QTemporaryDir scratch;
    QVERIFY(QFile::setPermissions(scratch.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString root = scratch.path();
    for (const QString name : {QStringLiteral("m/Album 1/Tone A.mp3"), QStringLiteral("m/Album 2/Tone B.mp3")}) {
        QVERIFY(QDir(root).mkpath(QFileInfo(root + QLatin1Char('/') + name).path()));
        QVERIFY(QFile::copy(m_music + QLatin1Char('/') + Main::FileNameOf(name), root + QLatin1Char('/') + name));
    }
    QVERIFY(QDir(root).mkpath(QStringLiteral("out")));
    if (asNobody)
        QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), root}), 0);
    const auto night = [&](const QStringList &folders) {
        QProcess process;
        QStringList options{QStringLiteral("--update"), QStringLiteral("--prune"), QStringLiteral("-d"), QStringLiteral("1"),
                            QStringLiteral("--keep-folders"), QStringLiteral("--waveform"), QStringLiteral("json"),
                            QStringLiteral("-o"), root + QStringLiteral("/out")};
        for (const QString &folder : folders)
            options.append(root + QLatin1Char('/') + folder);
        process.setWorkingDirectory(root);
        if (asNobody)
            process.start(setpriv, QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                               QStringLiteral("--clear-groups"), program()} + options);
        else
            process.start(program(), options);
        process.waitForFinished(60000);
        return Run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    };
    const Run first = night({QStringLiteral("m")});
    QVERIFY2(first.status == 0, qPrintable(first.err));
    QProcess shell;
    shell.setWorkingDirectory(root);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), change});
    QVERIFY(shell.waitForFinished() && shell.exitCode() == 0);
    const Run second = night(arguments);
    QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("u+rwx"), root}); // for the clean-up
    QVERIFY2(second.status == status, qPrintable(second.err));
    QVERIFY2(QRegularExpression(said, QRegularExpression::MultilineOption).match(second.err).hasMatch(), qPrintable(second.err));
    QCOMPARE(Fixtures::FilesBelow(root + QStringLiteral("/out")), left);
}

QTEST_GUILESS_MAIN(TestCliUpdate)
#include "tst_cli_update.moc"
