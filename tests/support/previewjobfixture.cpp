#include "previewjobfixture.h"

#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "platform/main.h"
#include "preview/tagcopy.h"
#include "tagfixtures.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>

using Fixtures::AudioFacts;
using Fixtures::FrameSeconds;

void PreviewJobFixture::initTestCase()
{
    m_tone = m_fixtures.filePath(QStringLiteral("tone.mp3"));
    m_highTone = m_fixtures.filePath(QStringLiteral("high.mp3"));
    m_shortTone = m_fixtures.filePath(QStringLiteral("short.mp3"));
    m_longTone = m_fixtures.filePath(QStringLiteral("long.mp3"));
    QVERIFY(Fixtures::MakeTone(m_tone, 4));
    QVERIFY(Fixtures::MakeTone(m_highTone, 4, 880));
    QVERIFY(Fixtures::MakeTone(m_shortTone, 1, 440, 192, QStringLiteral("Artist=Someone")));
    QVERIFY(Fixtures::MakeTone(m_longTone, 6));
    m_m4a = m_fixtures.filePath(QStringLiteral("m4a.mp3"));
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-i", m_tone, "-c:a", "aac", "-f", "mp4", m_m4a}), 0);
}

void PreviewJobFixture::init()
{
    m_environment = std::make_unique<SavedEnvironment>(QList<QByteArray>{"PATH", "TEMP"});
    m_test = std::make_unique<TestWindow>();
    QDir().mkpath(scratch(QStringLiteral("temp")));
    QDir().mkpath(scratch(QStringLiteral("out")));
    qputenv("TEMP", scratch(QStringLiteral("temp")).toUtf8());
}

void PreviewJobFixture::cleanup()
{
    m_environment.reset();
    m_test.reset();
}

QString PreviewJobFixture::scratch(const QString &relative) const
{
    return m_test->scratch() + QLatin1Char('/') + relative;
}

QString PreviewJobFixture::copyTone(const QString &relative, bool high)
{
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    QFile::copy(high ? m_highTone : m_tone, path);
    return path;
}

QString PreviewJobFixture::writeText(const QString &relative)
{
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    Fixtures::WriteFile(path, "These are notes, not music.\n");
    return path;
}

// What an earlier run left: a file with Lumbrisk's mark, which a run may replace.
QString PreviewJobFixture::earlierPreview(const QString &relative)
{
    const QString path = copyTone(relative);
    TagCopy::MarkOnly(path, QStringLiteral("2 source=/earlier.mp3"));
    return path;
}

// A song of an album, in MP3 with its tags; SoX writes ".au" without such tags.
QString PreviewJobFixture::taggedSong(const QString &relative)
{
    if (!relative.endsWith(QLatin1String(".au"))) {
        const QString path = copyTone(relative);
        TagFixtures::WriteAlbumSong(path, QStringLiteral("Grüße von ") + Main::FileNameOf(relative));
        return path;
    }
    const QString path = scratch(relative);
    QDir().mkpath(Main::FolderOf(path));
    QProcess::execute(QStringLiteral("sox"), {m_tone, path});
    return path;
}

Form1 &PreviewJobFixture::window(const QStringList &rows, const QString &folder, bool sameRate, bool beside, bool join)
{
    Form1 &form = m_test->open();
    for (const QString &row : rows)
        form.ListView1->append(row);
    form.Text1->setText(folder);
    form.Text2->setText(QStringLiteral("1"));
    form.Text3->setText(QStringLiteral("2"));
    form.Combo1->setCurrentIndex(sameRate ? 0 : form.Combo1->findText(QStringLiteral("128 kbps")));
    (beside ? form.Option2 : form.Option1)->setChecked(true);
    (join ? form.Option3 : form.Option4)->setChecked(true);
    return form;
}

// The closing message's text, and its details on the lines below.
QString PreviewJobFixture::closingMessage() const
{
    const QList<ScriptedPrompts::Call> messages = m_test->prompts.callsOf(QStringLiteral("message"));
    if (messages.isEmpty())
        return QStringLiteral("<no message>");
    const ScriptedPrompts::Call &last = messages.last();
    return last.details.isEmpty() ? last.text : last.text + QLatin1Char('\n') + last.details;
}

// The preview's format and length; each encoding may add up to two frames of padding.
void PreviewJobFixture::verifyPreview(const QString &path, int bitRate, double seconds, int encodings)
{
    QVERIFY2(QFile::exists(path), qPrintable(path));
    // Written under a private temporary name first, a preview still gets a new file's mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, 0666 & ~mask);
    const AudioFacts facts = Fixtures::Describe(path);
    QCOMPARE(facts.channels, 2);
    QCOMPARE(facts.sampleRate, 48000);
    QCOMPARE(facts.bitRate, bitRate);
    QVERIFY2(facts.seconds >= seconds - FrameSeconds && facts.seconds <= seconds + 2 * encodings * FrameSeconds,
             qPrintable(QStringLiteral("%1 lasts %2 s").arg(path).arg(facts.seconds)));
}

// How much higher the second half sounds than the first: about 2 for 440 Hz then 880 Hz.
double PreviewJobFixture::pitchRatioOfHalves(const QString &path, double half)
{
    return Fixtures::RoughFrequency(path, half + 0.2, half - 0.4) / Fixtures::RoughFrequency(path, 0.2, half - 0.4);
}
