// The sample files: the capture taken at start-up and the button that loads it.

#include "platform/prompts.h"
#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "filelist/samples.h"
#include "testwindow.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {
const QString Question = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so that "
    "you can view them before working with them)?");
}

class TestSamples : public QObject {
    Q_OBJECT
private slots:
    void init();
    void scrambleRoundTrip_data();
    void scrambleRoundTrip();
    void loadAndAsk();
    void loadTakesOnlyWhatWasCaptured_data();
    void loadTakesOnlyWhatWasCaptured();
    void nameWithSeparatorIsLeftOut();
    void emptyFolderIsCapturedAgainLater();
    void damagedCaptureIsReported();

private:
    QString samplePath(const QString &name) const { return m_test->programFolder() + "/Samples/" + name; }
    void putSample(const QString &name) const;
    void pressLoad() const { QTest::mouseClick(m_test->window->PushButton11, Qt::LeftButton); }
    QStringList rows() const { return m_test->window->ListView1->texts(); }

    std::unique_ptr<TestWindow> m_test;
};

void TestSamples::init()
{
    m_test = std::make_unique<TestWindow>();
}

void TestSamples::putSample(const QString &name) const
{
    QDir().mkpath(m_test->programFolder() + "/Samples");
    QVERIFY(Fixtures::WriteFile(samplePath(name)));
}

void TestSamples::scrambleRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("paths") << "/opt/lumbrisk/Samples/a.mp3|/opt/lumbrisk/Samples/b.mp3";
    QTest::newRow("beyond Latin-1") << QString::fromUtf8("/home/zoë/Музыка/曲 🎵.mp3");
}

void TestSamples::scrambleRoundTrip()
{
    QFETCH(QString, text);
    const QString stored = Samples::Scramble(text);
    QCOMPARE(Samples::Unscramble(stored), text);
    // The empty text must stay empty: start-up takes an empty value as "no capture yet".
    QCOMPARE(stored.isEmpty(), text.isEmpty());
    QVERIFY(text.isEmpty() || !stored.contains(text));
}

void TestSamples::loadAndAsk()
{
    putSample("Sample 10.mp3");
    putSample("sample 2.mp3");
    Form1 &window = m_test->open();
    QVERIFY(!m_test->settings->read("Snapshot").contains("Sample"));
    const QStringList listed{samplePath("sample 2.mp3"), samplePath("Sample 10.mp3")}; // in name order

    pressLoad(); // answered No
    QCOMPARE(rows(), listed);
    const auto questions = m_test->prompts.callsOf("askYesNo");
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().title, window.applicationTitle());
    QCOMPARE(questions.first().text, Question);
    QVERIFY(m_test->prompts.callsOf("openFolder").isEmpty());

    m_test->prompts.yesNoAnswers.enqueue(true);
    pressLoad();
    QCOMPARE(rows(), listed);
    QCOMPARE(m_test->prompts.callsOf("askYesNo").size(), 2);
    const auto opened = m_test->prompts.callsOf("openFolder");
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().text, m_test->programFolder() + "/Samples/");
    QVERIFY(m_test->prompts.errorReports().isEmpty());
}

void TestSamples::loadTakesOnlyWhatWasCaptured_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("expectedNames"); // appended after the rows the change left
    QTest::newRow("other letter case in the list") << "row A.MP3" << QStringList{"a.mp3"};
    QTest::newRow("sample deleted after the capture") << "delete a.mp3" << QStringList();
    QTest::newRow("file added after the capture") << "add c.mp3" << QStringList{"a.mp3"};
    QTest::newRow("no change") << "" << QStringList{"a.mp3"};
}

void TestSamples::loadTakesOnlyWhatWasCaptured()
{
    QFETCH(QString, change);
    QFETCH(QStringList, expectedNames);
    putSample("a.mp3");
    m_test->open();
    QStringList expected;
    if (change == "row A.MP3") {
        m_test->window->ListView1->append(samplePath("A.MP3"));
        expected << samplePath("A.MP3");
    } else if (change == "delete a.mp3") {
        QVERIFY(QFile::remove(samplePath("a.mp3")));
    } else if (change == "add c.mp3") {
        putSample("c.mp3");
    }
    for (const QString &name : expectedNames)
        expected << samplePath(name);
    pressLoad();
    QCOMPARE(rows(), expected);
    QCOMPARE(m_test->prompts.callsOf("askYesNo").size(), 1);
}

// Split at its "|", such a name would become two paths that name other files.
void TestSamples::nameWithSeparatorIsLeftOut()
{
    putSample("a.mp3");
    putSample("x|y.mp3");
    const QString capture = Samples::CaptureText(m_test->programFolder());
    QCOMPARE(Samples::CapturedPaths(capture), QStringList{samplePath("a.mp3")});
}

void TestSamples::emptyFolderIsCapturedAgainLater()
{
    m_test->open();
    QCOMPARE(m_test->settings->read("Snapshot", "absent"), QString());
    pressLoad();
    QVERIFY(rows().isEmpty());
    QCOMPARE(m_test->prompts.callsOf("askYesNo").size(), 1);

    putSample("a.mp3");
    m_test->restart();
    putSample("b.mp3"); // once captured, the capture is never taken again
    m_test->restart();
    pressLoad();
    QCOMPARE(rows(), QStringList{samplePath("a.mp3")});
}

void TestSamples::damagedCaptureIsReported()
{
    putSample("a.mp3");
    m_test->open();
    m_test->settings->write("Snapshot", "not*scrambled*text");
    pressLoad();
    const QStringList reports = m_test->prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports.first().contains("Form1.PushButton11_Click at line 100"));
    QVERIFY(m_test->prompts.callsOf("askYesNo").isEmpty());
    QVERIFY(rows().isEmpty());
}

QTEST_MAIN(TestSamples)
#include "tst_samples.moc"
