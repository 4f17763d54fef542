// lumbrisk-cli's exit statuses, and the last line it writes on standard error for each.

#include "clitestcase.h"
#include "audiofixtures.h"
#include "hostilefixtures.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

class TestCliExitStatuses : public CliTestCase {
    Q_OBJECT

private slots:
    void exitStatuses_data();
    void exitStatuses();
};

void TestCliExitStatuses::exitStatuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");     // PATH for the run; empty: the usual one
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // a pattern for the last line on standard error
    QTest::addColumn<QStringList>("made");

    const QString out = QStringLiteral("-o");
    const QString a = QStringLiteral("Tone A.mp3");
    const QStringList none;
    QTest::newRow("all made") << QStringList{QStringLiteral("Tone B.mp3"), a} << QString() << 0
                              << QStringLiteral("^2 of 2 previews made$")
                              << QStringList{QStringLiteral("Tone A_Preview.mp3"), QStringLiteral("Tone B_Preview.mp3")};
    QTest::newRow("one not made") << QStringList{QStringLiteral("notes.txt"), a} << QString() << 1
                                  << QStringLiteral("^1 of 2 previews made; not made: notes.txt$")
                                  << QStringList{QStringLiteral("Tone A_Preview.mp3")};
    // LAME writes a cut of one frame as its delay and padding only.
    QTest::newRow("a cut of 0.01 s") << QStringList{QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("0.01"), a}
                                     << QString() << 1
                                     << QStringLiteral("^lumbrisk-cli: not made: .*/Tone A.mp3: the cut came out 0.01 s long, "
                                                       "no longer than one MP3 frame \\(0.024 s\\), so it holds no audio$")
                                     << none;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--loud"), a} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: Unknown option 'loud'\\.$") << none;
    QTest::newRow("bad number") << QStringList{QStringLiteral("-d"), QStringLiteral("0"), a} << QString() << 2
                                << QStringLiteral("^lumbrisk-cli: --duration '0': .*above 0 and up to 1000 hours$") << none;
    QTest::newRow("exponent") << QStringList{QStringLiteral("-d"), QStringLiteral("1e9"), a} << QString() << 2
                              << QStringLiteral("^lumbrisk-cli: --duration '1e9': give seconds \\(65, 2.5\\) or m:ss "
                                                "\\(1:05\\), above 0 and up to 1000 hours$")
                              << none;
    // SoX counts samples in 64 bits: a start of 10^15 s wraps around to a wrong stretch.
    QTest::newRow("start past the limit") << QStringList{QStringLiteral("-s"), QStringLiteral("1000000000000000"), a}
                                          << QString() << 2 << QStringLiteral("^lumbrisk-cli: --start '1000000000000000': "
                                                                              ".* up to 1000 hours, .*$")
                                          << none;
    QTest::newRow("crossfade of half a preview")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1.5"), QStringLiteral("-d"),
                       QStringLiteral("3"), a}
        << QString() << 2 << QStringLiteral("^lumbrisk-cli: the crossfade \\(1.5 s\\) must be shorter than half the preview \\(3 s\\)$")
        << none;
    // The joined file is what a join makes: without it the run failed.
    QTest::newRow("a join that fails")
        << QStringList{QStringLiteral("--join"), QStringLiteral("--crossfade"), QStringLiteral("1"), QStringLiteral("-d"),
                       QStringLiteral("3"), QStringLiteral("-s"), QStringLiteral("4"), a}
        << QString() << 1
        << QStringLiteral("^the pieces were cut, but the joined preview was not made: the preview of Tone A.mp3 came out "
                          ".* too short for a crossfade of 1 s .*$")
        << none;
    // A gain of 45 dB would bring up noise and hum; silence stays as it is.
    const QString quiet = folder(QStringLiteral("quiet"));
    QVERIFY(Fixtures::MakeSound(quiet + QStringLiteral("/Quiet.mp3"), {"synth", "5", "sine", "440", "gain", "-56"}));
    QVERIFY(Fixtures::MakeSound(quiet + QStringLiteral("/Silent.mp3"), {"synth", "5", "sine", "440", "gain", "-90"}));
    QTest::newRow("--loudness, too quiet")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Quiet.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Quiet.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("Quiet_Preview.mp3")};
    QTest::newRow("--loudness, silent")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Silent.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Silent.mp3: silent: left as it is$")
        << QStringList{QStringLiteral("Silent_Preview.mp3")};
    // A name is text, never a format: "%2" in it stays as it is, and so do the numbers after it.
    QVERIFY(copyAnew(quiet + QStringLiteral("/Quiet.mp3"), quiet + QStringLiteral("/Quiet %2.mp3")));
    QTest::newRow("--loudness, too quiet, a name holding %2")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), quiet + QStringLiteral("/Quiet %2.mp3")}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: Quiet %2.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("Quiet %2_Preview.mp3")};
    QTest::newRow("a join into o%1x%2") << QStringList{QStringLiteral("--join"), a} << QString() << 0
                                        << QStringLiteral("^.* o%1x%2/Joined_Preview.mp3 made from 1 of 1 previews$")
                                        << QStringList{QStringLiteral("Joined_Preview.mp3")};
    // A warning names the file as progress does, below its FOLDER: albums repeat track names.
    const QString albums = folder(QStringLiteral("albums"));
    QVERIFY(QDir(albums).mkpath(QStringLiteral("Album 1")));
    QVERIFY(copyAnew(quiet + QStringLiteral("/Quiet.mp3"), albums + QStringLiteral("/Album 1/01 - Song.mp3")));
    QTest::newRow("a warning names the file below its FOLDER")
        << QStringList{QStringLiteral("-q"), QStringLiteral("--loudness"), QStringLiteral("-16"), albums} << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Album 1/01 - Song.mp3: too quiet to bring to -16 LUFS: raised by 30 dB$")
        << QStringList{QStringLiteral("01 - Song_Preview.mp3")};
    // A mix or a whole work is not looked into, and says so rather than that nothing repeats.
    const QString hours = folder(QStringLiteral("hours")) + QStringLiteral("/Three hours.mp3");
    QVERIFY(QProcess::execute(QStringLiteral("sox"), {"-n", "-r", "8000", "-c", "1", "-C", "8", hours, "synth", "10800", "sine", "440"}) == 0);
    QTest::newRow("-s auto, three hours long")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), QStringLiteral("-d"), QStringLiteral("1"), hours}
        << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Three hours.mp3: too long to look into \\(over 15 minutes\\), so its preview starts "
                          "a quarter in, at 45:00$")
        << QStringList{QStringLiteral("Three hours_Preview.mp3")};
    QTest::newRow("--starts naming no such file")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("bad starts.csv")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --starts 'bad starts.csv', line 2: no such file: Tone C.mp3$") << none;
    // Each row of one song and cut would make that preview again, and keep it for good.
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/repeated.csv"), "Tone A.mp3,1\nTone B.mp3,1\n./Tone A.mp3,1\n"));
    QTest::newRow("--starts with a row repeated")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("repeated.csv")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --starts 'repeated.csv', line 3: ./Tone A.mp3 again, with the start and duration of "
                          "line 1, which makes that preview already$") << none;
    // A folder names each song once: a second cut of one would be ignored.
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/two cuts.csv"), "Tone A.mp3,1\nTone B.mp3,1\nTone A.mp3,2\n"));
    QTest::newRow("--starts with two cuts of a song, FOLDER") << QStringList{QStringLiteral("--starts"), QStringLiteral("two cuts.csv"), m_music}
                                                             << QString() << 2
                                                             << QStringLiteral("^lumbrisk-cli: --starts, line 3: the run makes no "
                                                                               "preview with that cut, .*; nothing is made$")
                                                             << none;
    QVERIFY(Fixtures::WriteFile(m_music + QStringLiteral("/spreadsheet.csv"), "Tone A.mp3;1,5\nTone C.mp3;1\nTone D.mp3;1\n"));
    QTest::newRow("--starts from a spreadsheet, every bad row")
        << QStringList{QStringLiteral("--starts"), QStringLiteral("spreadsheet.csv")} << QString() << 2
        << QStringLiteral("^  line 3: no such file: Tone D.mp3$") << none;
    QVERIFY(Fixtures::WriteFile(m_tree + QStringLiteral("/starts.csv"), "Artist A/Album 1/Track 01.mp3,0\nArtist B/Track 01.mp3,1\n"));
    QTest::newRow("--starts, its folders kept")
        << QStringList{QStringLiteral("--keep-folders"), QStringLiteral("--starts"), m_tree + QStringLiteral("/starts.csv")}
        << QString() << 0 << QStringLiteral("^2 of 2 previews made$")
        << QStringList{QStringLiteral("Artist A"), QStringLiteral("Artist A/Album 1"), QStringLiteral("Artist A/Album 1/Track 01_Preview.mp3"),
                       QStringLiteral("Artist B"), QStringLiteral("Artist B/Track 01_Preview.mp3")};
    QTest::newRow("a sampler per folder") << QStringList{QStringLiteral("--join"), QStringLiteral("--keep-folders"), m_tree}
                                          << QString() << 0 << QStringLiteral("^2 joined previews made from 2 of 2 previews$")
                                          << QStringList{QStringLiteral("Artist A"), QStringLiteral("Artist A/Album 1"),
                                                         QStringLiteral("Artist A/Album 1/Joined_Preview.mp3"),
                                                         QStringLiteral("Artist B"), QStringLiteral("Artist B/Joined_Preview.mp3")};
    // A pipe would hold the run up for ever; a device would fill the memory.
    QTest::newRow("--starts a FIFO") << QStringList{QStringLiteral("--starts"), QStringLiteral("pipe.mp3")} << QString() << 2
                                     << QStringLiteral("^lumbrisk-cli: --starts 'pipe.mp3': it is not a regular file .*$")
                                     << none;
    QTest::newRow("loudness out of range") << QStringList{QStringLiteral("--loudness"), QStringLiteral("3"), a}
                                           << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --loudness '3': .* from -70 to 0, such as -16$")
                                           << none;
    QTest::newRow("--limit without a loudness") << QStringList{QStringLiteral("--limit"), a} << QString() << 2
                                                << QStringLiteral("^lumbrisk-cli: --limit needs --loudness$") << none;
    QTest::newRow("a format Lumbrisk does not write") << QStringList{QStringLiteral("--format"), QStringLiteral("flac"), a}
                                                      << QString() << 2
                                                      << QStringLiteral("^lumbrisk-cli: --format 'flac': give mp3, aac or opus$") << none;
    QTest::newRow("an MP3 rate Opus has not") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("-b"),
                                                             QStringLiteral("320"), a}
                                              << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: --bitrate '320': Opus takes 6 to 256 kbit/s; give "
                                                                "one of those, or same$")
                                              << none;
    // An FFmpeg built without libopus.
    const QString noOpus = folder(QStringLiteral("no-opus"));
    Fixtures::WriteScript(noOpus, QStringLiteral("ffmpeg"),
                          QStringLiteral("case \"$*\" in *-encoders*) /usr/bin/ffmpeg \"$@\" | grep -v libopus; exit;; esac\n"
                                         "exec /usr/bin/ffmpeg \"$@\""));
    QTest::newRow("Opus without its encoder") << QStringList{QStringLiteral("--format"), QStringLiteral("opus"), a}
                                              << noOpus + QStringLiteral(":/usr/bin:/bin") << 3
                                              << QStringLiteral("^lumbrisk-cli: FFmpeg \\(.*/no-opus/ffmpeg\\) has no libopus "
                                                                "encoder\\. Install the Debian package ffmpeg, whose libavcodec has it\\.$")
                                              << none;
    // AAC's default, 256, is no rate to check against MP3's list: the format is read first.
    QTest::newRow("AAC at its default rate") << QStringList{QStringLiteral("--format"), QStringLiteral("AAC"), a}
                                             << QString() << 0 << QStringLiteral("^1 of 1 previews made$")
                                             << QStringList{QStringLiteral("Tone A_Preview.m4a")};
    // -b same cannot keep a 320 kbit/s MP3's rate in Opus: said of the song, after its JSON line.
    QTest::newRow("-b same, a rate Opus has not")
        << QStringList{QStringLiteral("--json"), QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("-b"),
                       QStringLiteral("same"), QStringLiteral("-d"), QStringLiteral("2"), loudMaster(QStringLiteral("320.mp3"))}
        << QString() << 0
        << QStringLiteral("^lumbrisk-cli: Loud\\.320\\.mp3: its 320 kbit/s is more than Opus takes: its preview has 256 kbit/s$")
        << QStringList{QStringLiteral("Loud.320_Preview.opus")};
    QTest::newRow("missing folder") << QStringList{a, QStringLiteral("gone/")} << QString() << 2
                                    << QStringLiteral("^lumbrisk-cli: 'gone/': no such folder$") << none;
    const QString pictures = folder(QStringLiteral("pictures"));
    for (const char *name : {"front.jpg", "back.jpg", "notes.txt"})
        QVERIFY(Fixtures::WriteFile(pictures + QLatin1Char('/') + QString::fromLatin1(name), "no audio"));
    QTest::newRow("no audio file") << QStringList{QStringLiteral("-q"), pictures} << QString() << 1
                                   << QStringLiteral("^lumbrisk-cli: no audio files in %1; 2 .jpg, 1 .txt$").arg(pictures)
                                   << none;
    QTest::newRow("output is a file") << QStringList{out, a, a} << QString() << 2
                                      << QStringLiteral("^lumbrisk-cli: --output 'Tone A.mp3': it is a file, not a folder$")
                                      << none;
    // The output folder is made before the run, with the folders above it: the page may go there.
    const QString shop = folder(QStringLiteral("status/review beside the folder the run makes")) + QStringLiteral("/Shop");
    QTest::newRow("review beside the folder the run makes")
        << QStringList{out, shop + QStringLiteral("/previews"), QStringLiteral("--review"), shop + QStringLiteral("/review.html"), a}
        << QString() << 0 << QStringLiteral("^lumbrisk-cli: review page: .*/Shop/review.html$")
        << QStringList{QStringLiteral("Shop"), QStringLiteral("Shop/previews"), QStringLiteral("Shop/previews/Tone A_Preview.mp3"),
                       QStringLiteral("Shop/review.html")};
    // SoX reads a list by its name and fetches its addresses through a shell: a scan that
    // takes every file hands SoX neither list.
    const QString playlists = folder(QStringLiteral("playlists"));
    const QString fetched = folder(QStringLiteral("status/playlists in a scanned folder")) + QStringLiteral("/fetched");
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), playlists + QStringLiteral("/Song.mp3")));
    QVERIFY(Fixtures::WriteFile(playlists + QStringLiteral("/fetch.m3u"), "http://localhost/$(touch '" + fetched.toUtf8() + "')\n"));
    QVERIFY(Fixtures::WriteFile(playlists + QStringLiteral("/names.m3u"), m_music.toUtf8() + "/Tone B.mp3\n"));
    QTest::newRow("playlists in a scanned folder")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("*"), playlists} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/names.m3u: it is a playlist \\(.m3u\\), not an audio file, so it was not read$")
        << QStringList{QStringLiteral("Song_Preview.mp3")};
    // The page never replaces what is not its own, and says so before anything is made.
    const QString pages = folder(QStringLiteral("pages"));
    const QString song = pages + QStringLiteral("/Song.mp3");
    QVERIFY(copyAnew(m_music + QStringLiteral("/Tone A.mp3"), song));
    QVERIFY(linkAnew(song, pages + QStringLiteral("/link.html")));
    const QString review = QStringLiteral("--review");
    QTest::newRow("review page is a song") << QStringList{review, song, song} << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --review '%1': it would replace a song of the run, %1$").arg(song)
                                           << none;
    QTest::newRow("review page links to a song") << QStringList{review, pages + QStringLiteral("/link.html"), song} << QString() << 2
                                                 << QStringLiteral("^lumbrisk-cli: --review '.*/link.html': it would replace a song of the run, .*$")
                                                 << none;
    const QString ownOutput = folder(QStringLiteral("status/review page is a preview"));
    QTest::newRow("review page is a preview") << QStringList{review, ownOutput + QStringLiteral("/Song_Preview.mp3"), song}
                                              << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: --review '.*/Song_Preview.mp3': it would replace a "
                                                                "preview or waveform file the run writes$")
                                              << none;
    QTest::newRow("review page is a waveform file")
        << QStringList{QStringLiteral("--waveform"), QStringLiteral("dat"), review,
                       folder(QStringLiteral("status/review page is a waveform file")) + QStringLiteral("/Song_Preview (2).dat"), song}
        << QString() << 2 << QStringLiteral("^lumbrisk-cli: --review '.*/Song_Preview \\(2\\)\\.dat': it would replace a preview .*$")
        << none;
    QTest::newRow("review page is a FIFO") << QStringList{review, QStringLiteral("pipe.mp3"), a} << QString() << 2
                                           << QStringLiteral("^lumbrisk-cli: --review 'pipe.mp3': it is a pipe \\(FIFO\\), not a regular file$")
                                           << none;
    // Through a link too; no device is tried here, as a run without the check, as root, would
    // replace it for the whole system.
    QVERIFY(linkAnew(m_music + QStringLiteral("/pipe.mp3"), pages + QStringLiteral("/pipe.html")));
    QTest::newRow("review page links to a FIFO")
        << QStringList{review, pages + QStringLiteral("/pipe.html"), a} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: --review '.*/pipe.html': it is a pipe \\(FIFO\\), not a regular file$") << none;
    // /proc/self/root is the whole file system again: a folder on the kernel's own file
    // systems is never scanned, however it is reached.
    QVERIFY(linkAnew(QStringLiteral("/proc/self"), folder(QStringLiteral("system")) + QStringLiteral("/self")));
    QTest::newRow("a FOLDER that leads into /proc")
        << QStringList{QStringLiteral("-e"), QStringLiteral("*"), folder(QStringLiteral("system")) + QStringLiteral("/self")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: no files in .*/self; no other file either$") << none;
    // FFmpeg gives up on a stream damaged throughout, after a warning per frame: said at
    // once in words of ours, not after a minute's stall on its unread warnings.
    const QString broken = folder(QStringLiteral("broken")) + QStringLiteral("/damaged.aac");
    QVERIFY(Fixtures::MakeDamagedAac(broken, 30, 1));
    QTest::newRow("an AAC damaged throughout, -s auto")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), broken} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/damaged.aac: it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)$")
        << none;
    // SoX would cut what FFmpeg decoded before it gave up, as if the song ended there.
    QTest::newRow("an AAC damaged throughout")
        << QStringList{QStringLiteral("-q"), broken} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/damaged.aac: it cannot be decoded: its audio is damaged \\(FFmpeg: [^[]*\\)$")
        << none;
    // Every tool has its own words for an empty file, and the analysis none: ours are the same.
    const QString empty = folder(QStringLiteral("empty"));
    for (const char *name : {"empty.flac", "empty.m4a", "empty.mp3"})
        QVERIFY(Fixtures::WriteFile(empty + QLatin1Char('/') + QString::fromLatin1(name)));
    QTest::newRow("an empty FLAC") << QStringList{QStringLiteral("-q"), empty + QStringLiteral("/empty.flac")} << QString() << 1
                                   << QStringLiteral("^lumbrisk-cli: not made: .*/empty.flac: the file is empty$") << none;
    QTest::newRow("an empty M4A") << QStringList{QStringLiteral("-q"), empty + QStringLiteral("/empty.m4a")} << QString() << 1
                                  << QStringLiteral("^lumbrisk-cli: not made: .*/empty.m4a: the file is empty$") << none;
    QTest::newRow("an empty MP3, -s auto")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), empty + QStringLiteral("/empty.mp3")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/empty.mp3: the file is empty$") << none;
    QTest::newRow("no sox") << QStringList{a} << QStringLiteral("/nonexistent") << 3
                            << QStringLiteral("^lumbrisk-cli: .*Install the Debian packages sox and libsox-fmt-mp3\\.$")
                            << none;
    // Truncated in place just before SoX reads it: the short cut is no short track.
    const QString shrinking = folder(QStringLiteral("shrinking"));
    QVERIFY(Fixtures::MakeTone(shrinking + QStringLiteral("/Shrinks.mp3"), 6));
    Fixtures::WriteScript(shrinking, QStringLiteral("sox"),
                          QStringLiteral("[ \"$1\" = -h ] || truncate -s 100000 \"$2\"\nexec /usr/bin/sox \"$@\""));
    // FFmpeg reads the file named, and nothing that file names: a list under an audio name
    // would make a preview of another file, or wait forever on a pipe.
    const QString lists = folder(QStringLiteral("lists"));
    QVERIFY(Fixtures::WriteFile(lists + QStringLiteral("/list.m4a"), "ffconcat version 1.0\nfile '" + m_music.toUtf8() + "/Tone B.mp3'\n"));
    QVERIFY(Fixtures::WriteFile(lists + QStringLiteral("/waits.m4a"), "ffconcat version 1.0\nfile '" + m_music.toUtf8() + "/pipe.mp3'\n"));
    const QString refused = QStringLiteral("FFmpeg reads it as concat, a list of other files, .*");
    QTest::newRow("ffconcat naming another file")
        << QStringList{QStringLiteral("-q"), lists + QStringLiteral("/list.m4a")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/list.m4a: ") + refused << none;
    QTest::newRow("ffconcat naming a FIFO, probed")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("same"), lists + QStringLiteral("/waits.m4a")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/waits.m4a: ") + refused << none;
    // Damaged or video-only sources are told in words.
    const QString damaged = folder(QStringLiteral("damaged"));
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i", "testsrc=d=1", damaged + "/video.mp4"}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-i", m_music + "/Tone A.mp3", damaged + "/raw.aac"}), 0);
    QTest::newRow("video only, probed")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("same"), damaged + QStringLiteral("/video.mp4")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/video.mp4: it holds no audio stream \\(a video file\\?\\)$")
        << none;
    QTest::newRow("video only")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/video.mp4")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/video.mp4: it holds no audio stream \\(a video file\\?\\)$")
        << none;
    // FFmpeg stops at the cut-off data with status 0: the short stream is no short song.
    QVERIFY(Fixtures::MakeCutOffM4a(damaged + QStringLiteral("/cut off.m4a"), 30, 0.3));
    const QString cutOff = QStringLiteral("^lumbrisk-cli: not made: .*/cut off.m4a: it cannot be decoded: its audio is damaged "
                                          "\\(FFmpeg: .*partial file\\)$");
    QTest::newRow("an M4A cut off, the preview past its audio")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("5"), damaged + QStringLiteral("/cut off.m4a")}
        << QString() << 1 << cutOff << none;
    QTest::newRow("an M4A cut off, from the chorus")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("auto"), damaged + QStringLiteral("/cut off.m4a")}
        << QString() << 1 << cutOff << none;
    QTest::newRow("a stream of unknown length, ending before the start")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), damaged + QStringLiteral("/raw.aac")}
        << QString() << 1 << QStringLiteral("^lumbrisk-cli: not made: .*/raw.aac: the file ends before the preview's start \\(0:10\\)$")
        << none;
    // What the window's details say of the same sources (tst_previewjob).
    const QString notMade = QStringLiteral("^lumbrisk-cli: not made: .*/");
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/notes.mp3"), "These are notes, not music.\n"));
    QTest::newRow("a text named .mp3")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/notes.mp3")} << QString() << 1
        << notMade + QStringLiteral("notes.mp3: it holds no audio that SoX can read \\(not an MP3 file, or damaged\\)$") << none;
    // A missing path is a mistake on the command line, never a song for SoX, with or without
    // its slash: a share not mounted at night must not look like a withdrawn catalogue.
    QTest::newRow("a missing song")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/gone.mp3")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/gone.mp3': no such file or folder$") << none;
    QTest::newRow("a missing M4A master")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/gone.m4a")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/gone.m4a': no such file or folder$") << none;
    QTest::newRow("missing folder, no slash") << QStringList{a, QStringLiteral("gone")} << QString() << 2
                                              << QStringLiteral("^lumbrisk-cli: 'gone': no such file or folder$") << none;
    QVERIFY(linkAnew(damaged + QStringLiteral("/unmounted"), damaged + QStringLiteral("/music")));
    QTest::newRow("FOLDER, a link to nothing")
        << QStringList{a, damaged + QStringLiteral("/music")} << QString() << 2
        << QStringLiteral("^lumbrisk-cli: '.*/music': no such file or folder: it is a link to .*/unmounted, which is not there$")
        << none;
    QTest::newRow("a song, start after its end")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), QStringLiteral("Tone A.mp3")}
        << QString() << 1 << notMade + QStringLiteral("Tone A.mp3: the track is only 0:05 long, so a preview from 0:10 has nothing in it$")
        << none;
    QTest::newRow("an M4A master, start after its end")
        << QStringList{QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("10"), m_masters + QStringLiteral("/m4a.m4a")}
        << QString() << 1 << notMade + QStringLiteral("m4a.m4a: the track is only 0:05 long, so a preview from 0:10 has nothing in it$")
        << none;
    // A name cannot recolour or rewrite the terminal: its control characters are escaped.
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/bad\033[31mred\n.mp3"), "not audio"));
    QTest::newRow("control characters in a name")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/bad\033[31mred\n.mp3")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/bad\\\\033\\[31mred\\\\n\\.mp3: .*$") << none;
    // Nor make it read backwards: "evil\u202egnp.mp3" would show as "evil3pm.png".
    QVERIFY(Fixtures::WriteFile(damaged + QStringLiteral("/evil\u202egnp.mp3"), "not audio"));
    QTest::newRow("a bidi control in a name")
        << QStringList{QStringLiteral("-q"), damaged + QStringLiteral("/evil\u202egnp.mp3")} << QString() << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/evil\\\\u202egnp\\.mp3: .*$") << none;
    QTest::newRow("source shrinks while it is cut")
        << QStringList{QStringLiteral("-q"), shrinking + QStringLiteral("/Shrinks.mp3")}
        << shrinking + QStringLiteral(":/usr/bin:/bin") << 1
        << QStringLiteral("^lumbrisk-cli: not made: .*/Shrinks.mp3: the file changed while it was read$") << none;
}

void TestCliExitStatuses::exitStatuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, made);
    const QString output = folder(QStringLiteral("status/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("-o"), output} + arguments, path);
    QCOMPARE(result.status, status);
    const QString last = result.err.trimmed().split(QLatin1Char('\n')).constLast();
    QVERIFY2(QRegularExpression(message).match(last).hasMatch(), qPrintable(result.err));
    QCOMPARE(Fixtures::FilesBelow(output), made);
}

QTEST_GUILESS_MAIN(TestCliExitStatuses)
#include "tst_cli_exitstatuses.moc"
