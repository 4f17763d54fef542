// lumbrisk-cli's previews brought to a loudness: measured by FFmpeg's own meter, below the peak
// ceiling as encoded, and loud masters limited.

#include "clitestcase.h"
#include "audiofixtures.h"

#include "analysis/loudness.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

// A PATH whose sox, made in the folder, adds a line to its "encodings" for each run that
// encodes into the output folder, and hands every run to the real SoX.
QString countingTools(const QString &folder, const QString &output)
{
    Fixtures::WriteScript(folder, QStringLiteral("sox"),
                          QStringLiteral("case \"$*\" in *' -C '*'%2/'*) echo >> '%1/encodings';; esac\n"
                                         "exec /usr/bin/sox \"$@\"").arg(folder, output));
    return folder + QStringLiteral(":/usr/bin:/bin");
}

// A loud song as dance music may be mastered: low kicks of `hertz` every `period` seconds over
// pink noise, near full scale; 12 s, the same each time it is made (SoX's -R).
bool makeKickSong(const QString &path, int hertz, double period)
{
    const auto sox = [](const QStringList &arguments) {
        return QProcess::execute(QStringLiteral("sox"), QStringList{QStringLiteral("-R")} + arguments) == 0;
    };
    const QStringList format{QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"), QStringLiteral("2")};
    const QString kicks = path + QStringLiteral(".kicks.wav");
    const QString bed = path + QStringLiteral(".bed.wav");
    const bool made =
        sox(format + QStringList{kicks, QStringLiteral("synth"), QStringLiteral("0.2"), QStringLiteral("sine"), QString::number(hertz),
                                 QStringLiteral("fade"), QStringLiteral("0"), QStringLiteral("0.2"), QStringLiteral("0.1"),
                                 QStringLiteral("pad"), QStringLiteral("0"), QString::number(period), QStringLiteral("repeat"),
                                 QStringLiteral("100"), QStringLiteral("trim"), QStringLiteral("0"), QStringLiteral("12")})
        && sox(format + QStringList{bed, QStringLiteral("synth"), QStringLiteral("12"), QStringLiteral("pinknoise"),
                                    QStringLiteral("gain"), QStringLiteral("-14")})
        && sox({QStringLiteral("-m"), kicks, bed, QStringLiteral("-C"), QStringLiteral("192"), path, QStringLiteral("gain"),
                QStringLiteral("-n"), QStringLiteral("-0.2")});
    return QFile::remove(kicks) && QFile::remove(bed) && made;
}

} // namespace

class TestCliLoudness : public CliTestCase {
    Q_OBJECT

private slots:
    void loudnessMeetsTheTarget_data();
    void loudnessMeetsTheTarget();
    void encodedPreviewStaysBelowThePeakCeiling_data();
    void encodedPreviewStaysBelowThePeakCeiling();
    void limitBringsLoudMastersToTheTarget_data();
    void limitBringsLoudMastersToTheTarget();
};

void TestCliLoudness::loudnessMeetsTheTarget_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<bool>("previewsFirst"); // with --update, after a run that made the previews
    QTest::addColumn<bool>("limit");
    QTest::newRow("separate previews") << false << false << false;
    QTest::newRow("joined, each piece") << true << false << false;
    // Planned for one encoding, each preview is raised in the join as a piece cut for it would be.
    QTest::newRow("joined of the previews made before, each piece") << true << true << false;
    // What the limiter took off a preview's peaks holds its piece back no more.
    QTest::newRow("joined of the limited previews made before, each piece") << true << true << true;
}

// Sources from a whisper to a shout, and clicks whose peaks leave little room: FFmpeg's own
// meter must read each preview at the target, or where its peaks held it, as it says.
void TestCliLoudness::loudnessMeetsTheTarget()
{
    QFETCH(bool, join);
    QFETCH(bool, previewsFirst);
    QFETCH(bool, limit);
    // Names and what SoX makes them of: 5 s from nothing.
    const QList<QPair<QString, QString>> sources{{QStringLiteral("Whisper"), QStringLiteral("sine 440 gain -35")},
                                                 {QStringLiteral("Talk"), QStringLiteral("brownnoise gain -20")},
                                                 {QStringLiteral("Shout"), QStringLiteral("sine 330 brownnoise gain -6")},
                                                 {QStringLiteral("Clicks"), QStringLiteral("square 3 gain -6 highpass 4000")}};
    QStringList arguments = QStringLiteral("--json -j 2 -s 0.5 -d 4 --loudness -16").split(QLatin1Char(' '));
    arguments << QStringLiteral("-o") << folder(QStringLiteral("loudness-%1-%2-%3").arg(join).arg(previewsFirst).arg(limit));
    if (previewsFirst)
        arguments << QStringLiteral("--update");
    if (limit)
        arguments << QStringLiteral("--limit");
    for (const auto &[name, effects] : sources) {
        const QString path = folder(QStringLiteral("levels")) + QLatin1Char('/') + name + QStringLiteral(".mp3");
        QVERIFY(QFile::exists(path) || Fixtures::MakeSound(path, (QStringLiteral("synth 5 ") + effects).split(QLatin1Char(' '))));
        arguments << path;
    }
    const Run first = previewsFirst ? run(arguments) : Run{0, QString(), QString()};
    QCOMPARE(first.status, 0);
    if (join)
        arguments << QStringLiteral("--join");
    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QString joined = report.value(QStringLiteral("joined")).toObject().value(QStringLiteral("preview")).toString();
    const QJsonArray previews = report.value(QStringLiteral("previews")).toArray();
    QCOMPARE(previews.size(), sources.size());
    for (int index = 0; index < previews.size(); ++index) {
        const QString name = sources[index].first;
        const QJsonObject preview = previews[index].toObject();
        QCOMPARE(preview.value(QStringLiteral("up_to_date")).toBool(), previewsFirst);
        const QJsonObject loudness = preview.value(QStringLiteral("loudness")).toObject();
        const bool heldBack = loudness.value(QStringLiteral("held_back")).toBool();
        QCOMPARE(heldBack, name == QLatin1String("Clicks"));
        // A limited preview is its piece as it is, its peaks at the ceiling: no room to make up
        // what the join's encoding takes.
        const double retaken = limit && heldBack ? Loudness::EncodingLoss(128) : 0;
        const double expected = heldBack ? loudness.value(QStringLiteral("result")).toDouble() - retaken : -16;
        // A piece of the join plays from second 4 * index, a few MP3 frames later.
        const Fixtures::LoudnessFacts facts
            = join ? Fixtures::MeasureLoudness(joined, 4 * index + 0.3, 3.4)
                   : Fixtures::MeasureLoudness(preview.value(QStringLiteral("preview")).toString());
        // Well inside the half LU a shop allows, so that a lost encoder allowance shows.
        QVERIFY2(qAbs(facts.integrated - expected) <= 0.3,
                 qPrintable(QStringLiteral("%1: %2 LUFS, not %3").arg(name).arg(facts.integrated).arg(expected)));
        QVERIFY2(facts.truePeak < -0.5, qPrintable(QStringLiteral("%1: %2 dBTP").arg(name).arg(facts.truePeak)));
    }
    if (limit) { // the sampler as one cut whole is
        arguments.removeAll(QStringLiteral("--update"));
        arguments[arguments.indexOf(QStringLiteral("-o")) + 1] += QStringLiteral("-whole");
        const Run whole = run(arguments);
        QCOMPARE(whole.status, 0);
        const Fixtures::LoudnessFacts taken = Fixtures::MeasureLoudness(joined);
        const Fixtures::LoudnessFacts cut = Fixtures::MeasureLoudness(
            QJsonDocument::fromJson(whole.out.toUtf8()).object().value(QStringLiteral("joined")).toObject().value(QStringLiteral("preview")).toString());
        QVERIFY2(qAbs(taken.integrated - cut.integrated) <= 0.5 && taken.truePeak <= -1,
                 qPrintable(QStringLiteral("%1 LUFS, %2 dBTP; cut whole %3 LUFS").arg(taken.integrated).arg(taken.truePeak).arg(cut.integrated)));
        return;
    }
    // Told by the run that made it.
    const QRegularExpression told(QStringLiteral("Clicks\\.mp3: -3\\d\\.\\d LUFS, held back by its peaks\n"));
    QVERIFY2(told.match(first.err + result.err).hasMatch(), qPrintable(first.err + result.err));
}

void TestCliLoudness::encodedPreviewStaysBelowThePeakCeiling_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("songs");   // what they are made of
    QTest::addColumn<double>("ceiling");  // the highest true peak FFmpeg may read (to a tenth)
    QTest::addColumn<bool>("lowered");    // the joined file was lowered as a whole; else it is at the target
    QTest::addColumn<int>("encodings");   // of the joined file, when counted: the SoX runs that encode it
    // LAME overshoots a loud square wave at a low bit rate by several dB. A square's peak is
    // its loudness: -1 LUFS plans it right at the ceiling.
    QTest::newRow("a square at 32 kbit/s")
        << QStringLiteral("-b 32 -s 0.5 -d 4 --loudness -1").split(QLatin1Char(' ')) << "square" << -0.9 << false << 0;
    // Pieces held back to the ceiling by their kicks, whose crossfades add them up: joined as
    // they are, the sampler reads -0.9 dBTP.
    QTest::newRow("a crossfaded sampler of loud songs at -14 LUFS")
        << QStringLiteral("--join --crossfade 2 -s 2 -d 6 --loudness -14").split(QLatin1Char(' ')) << "kicks" << -1.0
        << true << 0;
    // Pieces whose clicks the limiter took down to the ceiling: their crossfades pass it
    // again, and the limiter, not a lower gain, keeps the sampler there at the target, which
    // its one encoding reaches.
    QTest::newRow("a crossfaded sampler of limited clicks")
        << QStringLiteral("--join --crossfade 2 -s 2 -d 6 --loudness -14 --limit").split(QLatin1Char(' ')) << "clicks"
        << -1.0 << false << 1;
    // The same of the previews a run without the join made: each taken as it is, their second
    // encoding made up through the limiter.
    QTest::newRow("a crossfaded sampler of limited clicks, of the previews made before")
        << QStringLiteral("--update --join --crossfade 2 -s 2 -d 6 --loudness -14 --limit").split(QLatin1Char(' '))
        << "clicks" << -1.0 << false << 1;
    // libopus's own high-pass lifts the peaks of a low rumble by 2 dB once encoded: planned
    // without the limiter, the preview is limited then, not made quieter, and stays at the target.
    QTest::newRow("brown noise in Opus, limited after its encoding")
        << QStringLiteral("--format opus -s 0.5 -d 4 --loudness -14 --limit").split(QLatin1Char(' ')) << "brown" << -1.0
        << false << 0;
}

// The file as encoded must keep below the ceiling, and the report give the figures it really has.
void TestCliLoudness::encodedPreviewStaysBelowThePeakCeiling()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, songs);
    QFETCH(double, ceiling);
    QFETCH(bool, lowered);
    QFETCH(int, encodings);
    QStringList sources;
    if (songs == QLatin1String("square")) {
        sources << folder(QStringLiteral("levels")) + QStringLiteral("/Square.mp3");
        QVERIFY(Fixtures::MakeSound(sources.constLast(), {"synth", "5", "square", "440", "gain", "-3"}));
    }
    for (int song = 1; songs == QLatin1String("kicks") && song <= 8; ++song) {
        sources << folder(QStringLiteral("kicks")) + QStringLiteral("/%1.mp3").arg(song);
        QVERIFY(makeKickSong(sources.constLast(), 50 + song, 0.1 + 0.02 * song));
    }
    // Repeatable: now and then a peak of fresh noise passes the ceiling once encoded, and is
    // rightly limited and encoded again.
    for (int song = 1; songs == QLatin1String("clicks") && song <= 3; ++song) {
        sources << folder(QStringLiteral("clicks")) + QStringLiteral("/%1.mp3").arg(song);
        const QString effects = QStringLiteral("synth 12 pinknoise synth 12 square mix %1 highpass 300 gain -n -0.3");
        QVERIFY(Fixtures::MakeSound(sources.constLast(), effects.arg(2 + song % 3).split(QLatin1Char(' ')), true));
    }
    if (songs == QLatin1String("brown")) {
        sources << folder(QStringLiteral("brown")) + QStringLiteral("/Brown.flac");
        QCOMPARE(QProcess::execute(QStringLiteral("sox"), QStringLiteral("-R -n -r 44100 -c 2 %1 synth 5 brownnoise lowpass 200 gain -n -15")
                                                              .arg(sources.constLast()).split(QLatin1Char(' '))),
                 0);
    }
    const QString output = folder(QStringLiteral("peaks/") + QTest::currentDataTag());
    // With update, the previews first, as the README's nightly pair makes them.
    if (arguments.contains(QStringLiteral("--update"))) {
        const QStringList previews = arguments.mid(arguments.indexOf(QStringLiteral("--crossfade")) + 2);
        QCOMPARE(run(QStringList{QStringLiteral("--update"), QStringLiteral("-o"), output} + previews + sources).status,
                 0);
    }
    const QString tools = folder(QStringLiteral("counting/") + QTest::currentDataTag());
    const Run result = run(QStringList{QStringLiteral("--json"), QStringLiteral("-o"), output} + arguments + sources,
                           encodings > 0 ? countingTools(tools, output) : QString());
    QCOMPARE(result.status, 0);
    if (encodings > 0)
        QCOMPARE(Fixtures::Contents(tools + QStringLiteral("/encodings")).count('\n'), encodings);
    const QJsonObject report = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonObject made = report.contains(QStringLiteral("joined"))
                                 ? report.value(QStringLiteral("joined")).toObject()
                                 : report.value(QStringLiteral("previews")).toArray().first().toObject();
    const QJsonObject loudness = made.value(QStringLiteral("loudness")).toObject();
    const Fixtures::LoudnessFacts facts = Fixtures::MeasureLoudness(made.value(QStringLiteral("preview")).toString());
    // With update, the pieces are the previews made before, taken as they are.
    const QJsonObject first = report.value(QStringLiteral("previews")).toArray().first().toObject();
    QCOMPARE(first.value(QStringLiteral("up_to_date")).toBool(), arguments.contains(QStringLiteral("--update")));
    QVERIFY2(facts.truePeak <= ceiling, qPrintable(QStringLiteral("%1 dBTP").arg(facts.truePeak)));
    QVERIFY2(loudness.value(QStringLiteral("true_peak")).toDouble() <= -1, qPrintable(result.out));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("true_peak")).toDouble() - facts.truePeak) <= 0.3, qPrintable(result.out));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("result")).toDouble() - facts.integrated) <= 0.3, qPrintable(result.out));
    if (lowered)
        QVERIFY2(loudness.value(QStringLiteral("held_back")).toBool() && loudness.value(QStringLiteral("gain")).toDouble() < 0,
                 qPrintable(result.out));
    const double target = arguments.at(arguments.indexOf(QStringLiteral("--loudness")) + 1).toDouble();
    if (!lowered && (report.contains(QStringLiteral("joined")) || songs == QLatin1String("brown")))
        QVERIFY2(qAbs(facts.integrated - target) <= 0.3, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
}

void TestCliLoudness::limitBringsLoudMastersToTheTarget_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("limit");
    // MP3 is decoded in the process, FLAC and WAV by SoX, M4A and Opus by FFmpeg into SoX.
    for (const char *kind : {"mp3", "flac", "wav", "m4a", "opus"})
        QTest::newRow(qPrintable(QStringLiteral("%1, limited").arg(QLatin1String(kind)))) << QString::fromLatin1(kind) << true;
    QTest::newRow("mp3, without --limit: held back as before") << QStringLiteral("mp3") << false;
    // The offset lifts every peak on its side: a limiter answering to it would cut the whole
    // preview, past its deepest cut, and leave it quieter.
    QTest::newRow("flac with a DC offset, limited") << QStringLiteral("dc.flac") << true;
}

// FFmpeg's own meter reads a limited preview at the target, its true peak at the ceiling or
// below; the report says how much the limiter took off. Without --limit the peaks hold it back.
void TestCliLoudness::limitBringsLoudMastersToTheTarget()
{
    QFETCH(QString, extension);
    QFETCH(bool, limit);
    const QString master = loudMaster(extension);
    QStringList arguments = QStringLiteral("--json -s 0.5 -d 4 --loudness -14").split(QLatin1Char(' '));
    if (limit)
        arguments << QStringLiteral("--limit");
    arguments << QStringLiteral("-o") << folder(QStringLiteral("limited/") + QTest::currentDataTag()) << master;
    const Run result = run(arguments);
    QCOMPARE(result.status, 0);
    const QJsonObject preview =
        QJsonDocument::fromJson(result.out.toUtf8()).object().value(QStringLiteral("previews")).toArray().first().toObject();
    const QJsonObject loudness = preview.value(QStringLiteral("loudness")).toObject();
    const Fixtures::LoudnessFacts facts = Fixtures::MeasureLoudness(preview.value(QStringLiteral("preview")).toString());
    QCOMPARE(loudness.value(QStringLiteral("held_back")).toBool(), !limit);
    QVERIFY2(facts.truePeak <= -0.9, qPrintable(QStringLiteral("%1 dBTP").arg(facts.truePeak)));
    QVERIFY2(qAbs(loudness.value(QStringLiteral("result")).toDouble() - facts.integrated) <= 0.5, qPrintable(result.out));
    if (!limit) {
        QVERIFY2(facts.integrated < -18, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
        QVERIFY(loudness.value(QStringLiteral("limited")).isNull());
        QVERIFY2(result.err.contains(QStringLiteral("LUFS, held back by its peaks\n")), qPrintable(result.err));
        return;
    }
    QVERIFY2(qAbs(facts.integrated + 14) <= 0.5, qPrintable(QStringLiteral("%1 LUFS").arg(facts.integrated)));
    QVERIFY2(loudness.value(QStringLiteral("true_peak")).toDouble() <= -1, qPrintable(result.out));
    const double limited = loudness.value(QStringLiteral("limited")).toDouble();
    QVERIFY2(limited >= 3 && limited <= 10, qPrintable(result.out)); // some dB, as the master asks; AAC lands near 4
    const QRegularExpression told(
        QStringLiteral("Loud\\.%1: -1[34]\\.\\d LUFS, its peaks limited by up to \\d+\\.\\d dB\n").arg(extension));
    QVERIFY2(told.match(result.err).hasMatch(), qPrintable(result.err));
    // -q says nothing of it: a nightly cron job mails whatever is printed.
    arguments[0] = QStringLiteral("-q");
    arguments[arguments.indexOf(QStringLiteral("-o")) + 1] += QStringLiteral("-quiet");
    const Run quiet = run(arguments);
    QCOMPARE(quiet.status, 0);
    QCOMPARE(quiet.err, QString());
}

QTEST_GUILESS_MAIN(TestCliLoudness)
#include "tst_cli_loudness.moc"
