// The waveform's lowest and highest sample per pixel, on samples written out here. That a
// real client reads both file forms is checked by tests/web/waveform_client.sh.

#include "analysis/waveform.h"
#include "smalldisk.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using Values = std::vector<int>;
Q_DECLARE_METATYPE(Values)

class TestWaveform : public QObject {
    Q_OBJECT

private slots:
    void pixels_data();
    void pixels();
    void writeReplacesWhatHoldsTheName_data();
    void writeReplacesWhatHoldsTheName();
};

void TestWaveform::pixels_data()
{
    QTest::addColumn<std::vector<float>>("samples"); // interleaved
    QTest::addColumn<int>("inputChannels");
    QTest::addColumn<int>("outputChannels");
    QTest::addColumn<int>("samplesPerPixel");
    QTest::addColumn<int>("bits");
    QTest::addColumn<Values>("expected"); // min, max per pixel and channel, at `bits`

    // The last pixel keeps the samples left over.
    QTest::newRow("mono, a short last pixel") << std::vector<float>{0.5f, -0.25f, 0.0f} << 1 << 1 << 2 << 16
                                              << Values{-8192, 16384, 0, 0};
    // Full scale clips to the highest 16-bit value; below -1 to the lowest.
    QTest::newRow("clipped") << std::vector<float>{1.0f, -1.5f} << 1 << 1 << 2 << 16 << Values{-32768, 32767};
    // The integer mean of the two channels' 16-bit values, rounded toward zero.
    QTest::newRow("stereo mixed") << std::vector<float>{0.5f, 0.0f, -0.5f, 0.0f, 1.0f, 1.0f} << 2 << 1 << 3 << 16
                                  << Values{-8192, 32767};
    QTest::newRow("stereo kept apart") << std::vector<float>{0.5f, -0.5f, 0.25f, 0.0f} << 2 << 2 << 2 << 16
                                       << Values{8192, 16384, -16384, 0};
    QTest::newRow("mono asked for two") << std::vector<float>{0.5f, 0.25f} << 1 << 2 << 2 << 16 << Values{8192, 16384};
    // 8 bits: the quotient by 256, toward zero, so -255 gives 0 and -257 gives -1.
    QTest::newRow("8 bits") << std::vector<float>{-255.0f / 32768, -257.0f / 32768, 32767.0f / 32768} << 1 << 1 << 3 << 8
                            << Values{-1, 127};
}

void TestWaveform::pixels()
{
    QFETCH(std::vector<float>, samples);
    QFETCH(int, inputChannels);
    QFETCH(int, outputChannels);
    QFETCH(int, samplesPerPixel);
    QFETCH(int, bits);
    QFETCH(Values, expected);
    Waveform::Builder builder(inputChannels, 48000, outputChannels, samplesPerPixel);
    // Two blocks, split within a pixel, as a decoder hands them over.
    const size_t frames = samples.size() / size_t(inputChannels);
    builder.add(samples.data(), 1);
    builder.add(samples.data() + inputChannels, frames - 1);
    const Waveform::Data data = builder.finish();
    Values values;
    for (const int16_t value : data.values)
        values.push_back(Waveform::AtBits(value, bits));
    QCOMPARE(values, expected);
}

void TestWaveform::writeReplacesWhatHoldsTheName_data()
{
    QTest::addColumn<QString>("held"); // what the waveform's name holds before the write
    QTest::addColumn<QString>("problem"); // a pattern; empty when the write succeeds
    QTest::newRow("nothing") << "nothing" << QString();
    QTest::newRow("an earlier waveform") << "file" << QString();
    // Planted in a shared output folder: the file it points to must stay as it is.
    QTest::newRow("a link to a file elsewhere") << "link" << QString();
    // A write through it would make the file it names.
    QTest::newRow("a link to nothing") << "dangling" << QString();
    QTest::newRow("a FIFO") << "fifo" << QString();
    // In the words a preview has for it; the system's are "Unknown error".
    QTest::newRow("a full disk") << "full disk" << "^the disk is full: /\\S+ has 0 KB free$";
}

void TestWaveform::writeReplacesWhatHoldsTheName()
{
    QFETCH(QString, held);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    std::unique_ptr<Fixtures::SmallDisk> disk;
    if (held == QLatin1String("full disk")) {
        if (geteuid() != 0)
            QSKIP("A full disk is made by mounting a small tmpfs, which needs root.");
        disk = std::make_unique<Fixtures::SmallDisk>(dir.path(), QStringLiteral("64k"));
        QVERIFY(disk->mounted() && disk->fill());
    }
    const QString path = dir.filePath(QStringLiteral("Song_Preview.json"));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QByteArray kept("the victim's own bytes");
    if (held == QLatin1String("link") || held == QLatin1String("file")) {
        QFile file(held == QLatin1String("link") ? victim : path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kept) == kept.size());
    }
    if (held == QLatin1String("link") || held == QLatin1String("dangling"))
        QVERIFY(QFile::link(victim, path));
    if (held == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    Waveform::Builder builder(1, 48000, 1, 2);
    const std::vector<float> samples{0.5f, -0.5f};
    builder.add(samples.data(), samples.size());
    const QString written = Waveform::Write(path, builder.finish(), Waveform::Format::Json, 8);
    if (!problem.isEmpty()) {
        QVERIFY2(QRegularExpression(problem).match(written).hasMatch(), qPrintable(written));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"filler"});
        return;
    }
    QCOMPARE(written, QString());

    struct stat status {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));
    QFile waveform(path);
    QVERIFY(waveform.open(QIODevice::ReadOnly));
    QVERIFY(waveform.readAll().startsWith("{\"version\":2,"));
    QCOMPARE(QFile::exists(victim), held == QLatin1String("link"));
    if (held == QLatin1String("link")) {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kept);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), held == QLatin1String("link") ? 2 : 1);
}

QTEST_APPLESS_MAIN(TestWaveform)
#include "tst_waveform.moc"
