// The waveform's lowest and highest sample per pixel, on samples written out here. That a
// real client reads both file forms is checked by tests/web/waveform_client.sh.

#include "analysis/waveform.h"

#include <QTest>

#include <vector>

using Values = std::vector<int>;
Q_DECLARE_METATYPE(Values)

class TestWaveform : public QObject {
    Q_OBJECT

private slots:
    void pixels_data();
    void pixels();
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

QTEST_APPLESS_MAIN(TestWaveform)
#include "tst_waveform.moc"
