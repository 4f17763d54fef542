// Every output format keeps the same contract: the names it gives are the names it is known
// by, and a preview SoX writes in it decodes, measures and carries the mark back.

#include "audiofixtures.h"

#include "platform/toolwait.h"
#include "preview/leftovers.h"
#include "preview/outputformat.h"
#include "preview/previewcommands.h"
#include "preview/previewmark.h"
#include "preview/tagcopy.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestOutputFormat : public QObject {
    Q_OBJECT

private slots:
    void namesTellTheFormat_data();
    void namesTellTheFormat();
    void previewOfEachFormatReadsBack_data();
    void previewOfEachFormatReadsBack();
};

void TestOutputFormat::namesTellTheFormat_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension"); // of the format the name tells; "" for none

    QTest::newRow("preview") << "/music/Song_Preview.mp3" << "mp3";
    QTest::newRow("case ignored") << "/music/SONG.Mp3" << "mp3";
    QTest::newRow("a dot in the folder's name") << "/music/Vol. 2/Song_Preview.mp3" << "mp3";
    QTest::newRow("a run's temporary file") << "/music/.lumbrisk-a1B2c3.mp3" << "mp3";
    QTest::newRow("AAC") << "/music/Song_Preview.m4a" << "m4a";
    QTest::newRow("Opus, case ignored") << "/music/SONG_PREVIEW.OPUS" << "opus";
    // A join's piece is no preview: scans never take it for one.
    QTest::newRow("a join's piece") << "/tmp/work/0001.wav" << "";
    QTest::newRow("another ending after it") << "/music/Song.mp3.flac" << "";
    QTest::newRow("the folder's name only") << "/music/Album.mp3/Song" << "";
    QTest::newRow("no dot") << "/music/mp3" << "";
}

// A scan finds by the patterns the files whose marks it reads; a free name keeps the ending.
void TestOutputFormat::namesTellTheFormat()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    const OutputFormat *format = OutputFormat::Named(path);
    QCOMPARE(format ? format->extension() : QString(), extension);
    QCOMPARE(QDir::match(OutputFormat::AllPatterns(), QFileInfo(path).fileName()), format != nullptr);
    if (format) {
        const QString free = PreviewCommands::FreePath(path, [&](const QString &taken) { return taken == path; });
        QVERIFY(free.endsWith(QStringLiteral(" (2).") + QFileInfo(path).suffix()));
        QCOMPARE(OutputFormat::Named(free), format);
    }
}

void TestOutputFormat::previewOfEachFormatReadsBack_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("bitrate");
    for (const OutputFormat *format : OutputFormat::All()) {
        for (const int kbps : {format->bitrates().first(), format->bitrates().last()})
            QTest::addRow("%s at %d kbit/s", qPrintable(format->extension()), kbps)
                << int(format->id()) << QString::number(kbps);
    }
}

// The real SoX writes the preview as the command builder asks; the format's own decoder
// (checked against FFmpeg's meter), its measure and its mark reader then read it back.
void TestOutputFormat::previewOfEachFormatReadsBack()
{
    QFETCH(int, format);
    QFETCH(QString, bitrate);
    const OutputFormat &output = OutputFormat::Of(OutputFormat::Id(format));
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(Fixtures::MakeTone(source, 3));
    const QString preview = PreviewCommands::OutputPath(dir.path(), source, output);
    QCOMPARE(OutputFormat::Named(preview), &output);
    QCOMPARE(OutputFormat::Named(dir.filePath(Leftovers::TemporaryFileName(output))), &output);
    const CommandLine sox =
        PreviewCommands::Cut(QStringLiteral("sox"), source, bitrate, preview, QStringLiteral("0"), QStringLiteral("2"));
    const std::optional<CommandLine> encoder = PreviewCommands::Encode(QStringLiteral("ffmpeg"), bitrate, preview);
    QCOMPARE(encoder.has_value(), !output.ffmpegEncoder().isEmpty());
    const Shell32::RunResult cut = Shell32::RunToolAndWait({sox, std::nullopt, {}, encoder}, nullptr, QString(), 0, 1).result;
    QVERIFY2(cut.succeeded(), cut.errorOutput.constData());

    QCOMPARE(Fixtures::Describe(preview).sampleRate, output.sampleRateFor(bitrate));
    QVERIFY(output.holdsAudio(preview));
    const std::optional<AudioLength> length = output.measure(preview);
    QVERIFY(length && std::abs(length->seconds - 2) < 4 * length->frameSeconds);
    const std::optional<Loudness::Measurement> decoded = DecodedAudio::MeasureLoudness(preview, 3, output.decoder());
    QVERIFY(decoded && decoded->integrated);
    QVERIFY(std::abs(*decoded->integrated - Fixtures::MeasureLoudness(preview).integrated) < 0.5);

    QVERIFY(PreviewMark::IsUnmarkedFile(preview));
    const QString mark = QStringLiteral("2 source=/music/tone.mp3 start=3");
    QCOMPARE(TagCopy::CopyTags(source, preview, mark), QString());
    QCOMPARE(PreviewMark::Read(preview), std::optional<QString>(mark));
    QVERIFY(!PreviewMark::IsUnmarkedFile(preview));
}

QTEST_GUILESS_MAIN(TestOutputFormat)
#include "tst_outputformat.moc"
