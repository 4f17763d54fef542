// Which files a run of the preview job may replace: never a source, only its own earlier previews.

#include "audiofixtures.h"
#include "platform/main.h"
#include "preview/previewfiles.h"
#include "preview/previewresult.h"
#include "previewjobfixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

class TestPreviewJobReplacing : public PreviewJobFixture {
    Q_OBJECT

private slots:
    void neverOverwritesASourceOfTheList_data();
    void neverOverwritesASourceOfTheList();
    void listedJoinedFileIsNeverReplaced();
    void sameBaseNamesBothReachTheJoin_data();
    void sameBaseNamesBothReachTheJoin();
    void commitReplacesOnlyTheEarlierFile_data();
    void commitReplacesOnlyTheEarlierFile();
    void previewOfAnotherRunIsKept_data();
    void previewOfAnotherRunIsKept();
    void filesWithoutTheMarkAreKept_data();
    void filesWithoutTheMarkAreKept();
};

void TestPreviewJobReplacing::neverOverwritesASourceOfTheList_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("separate") << false;
    QTest::newRow("joined") << true;
}

void TestPreviewJobReplacing::neverOverwritesASourceOfTheList()
{
    QFETCH(bool, join);
    const QString a = copyTone(QStringLiteral("m/A.mp3"));
    const QString listedPreview = copyTone(QStringLiteral("m/A_Preview.mp3"), true);
    Form1 &form = window({a, listedPreview}, scratch(QStringLiteral("out")), false, true, join);

    form.PushButton2->click();

    QCOMPARE(Fixtures::Contents(listedPreview), Fixtures::Contents(m_highTone));
    QCOMPARE(Fixtures::Contents(a), Fixtures::Contents(m_tone));
    if (join) {
        // Joining needs no file of that name: A's preview goes elsewhere and both are joined.
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))),
                 (QStringList{"A.mp3", "A_Preview.mp3", "Joined_Preview.mp3"}));
        QVERIFY(pitchRatioOfHalves(scratch(QStringLiteral("m/Joined_Preview.mp3")), 2) > 1.5);
    } else {
        QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 2 previews were made.\nNot made:\n") + a
                                       + QStringLiteral(": its preview ") + listedPreview
                                       + QStringLiteral(" would replace a file of the list, so nothing was written"));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))),
                 (QStringList{"A.mp3", "A_Preview.mp3", "A_Preview_Preview.mp3"}));
    }
}

void TestPreviewJobReplacing::listedJoinedFileIsNeverReplaced()
{
    const QString a = copyTone(QStringLiteral("m/A.mp3"));
    const QString joined = copyTone(QStringLiteral("m/Joined_Preview.mp3"), true);
    Form1 &form = window({a, joined}, scratch(QStringLiteral("out")), false, true, true);

    form.PushButton2->click();

    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n0 of 2 previews were made.\nNot made:\n") + joined
                                   + QStringLiteral(": it is a file of the list, so the previews were not joined"));
    QCOMPARE(Fixtures::Contents(joined), Fixtures::Contents(m_highTone));
    QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("m"))), (QStringList{"A.mp3", "Joined_Preview.mp3"}));
}

void TestPreviewJobReplacing::sameBaseNamesBothReachTheJoin_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("joined: both previews in order") << true;
    QTest::newRow("separate: the later gets a free name") << false;
}

void TestPreviewJobReplacing::sameBaseNamesBothReachTheJoin()
{
    QFETCH(bool, join);
    const QString first = copyTone(QStringLiteral("one/x.mp3"));
    const QString second = copyTone(QStringLiteral("two/x.mp3"), true);
    Form1 &form = window({first, second}, scratch(QStringLiteral("out")), false, false, join);

    form.PushButton2->click();

    if (join) {
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), QStringList{"Joined_Preview.mp3"});
        verifyPreview(scratch(QStringLiteral("out/Joined_Preview.mp3")), 128000, 4, 3);
        QVERIFY(pitchRatioOfHalves(scratch(QStringLiteral("out/Joined_Preview.mp3")), 2) > 1.5);
    } else {
        const QString renamed = scratch(QStringLiteral("out/x_Preview (2).mp3"));
        QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n2 of 2 previews were made.\n1 of them got a free name, "
                                                  "as an earlier file of the list has the same name.\n"
                                                  "Saved under a free name:\n")
                                       + second + QStringLiteral(": saved as ") + renamed);
        QCOMPARE(Fixtures::FilesBelow(scratch(QStringLiteral("out"))), (QStringList{"x_Preview (2).mp3", "x_Preview.mp3"}));
        const double low = Fixtures::RoughFrequency(scratch(QStringLiteral("out/x_Preview.mp3")), 0.2, 1.5);
        QVERIFY(Fixtures::RoughFrequency(renamed, 0.2, 1.5) > 1.5 * low);
    }
}

void TestPreviewJobReplacing::commitReplacesOnlyTheEarlierFile_data()
{
    QTest::addColumn<bool>("earlier");         // a file holds the name when the run names it
    QTest::addColumn<QStringList>("meanwhile"); // files that come to these names before the commit
    QTest::addColumn<QString>("saved");
    QTest::newRow("a free name") << false << QStringList() << "A_Preview.mp3";
    QTest::newRow("an earlier run's preview is replaced") << true << QStringList() << "A_Preview.mp3";
    // Another run writing into the same folder.
    QTest::newRow("one that came meanwhile is kept") << false << QStringList{"A_Preview.mp3"} << "A_Preview (2).mp3";
    QTest::newRow("one that replaced the earlier is kept") << true << QStringList{"A_Preview.mp3"} << "A_Preview (2).mp3";
    QTest::newRow("the next free name")
        << false << QStringList{"A_Preview.mp3", "A_Preview (2).mp3"} << "A_Preview (3).mp3";
}

void TestPreviewJobReplacing::commitReplacesOnlyTheEarlierFile()
{
    QFETCH(bool, earlier);
    QFETCH(QStringList, meanwhile);
    QFETCH(QString, saved);
    const QString out = scratch(QStringLiteral("out/"));
    const QString planned = out + QStringLiteral("A_Preview.mp3");
    if (earlier)
        QVERIFY(Fixtures::WriteFile(planned, "earlier"));
    PreviewFiles::TemporaryOutput output(planned, PreviewFiles::EarlierFile::At(planned));
    QVERIFY(Fixtures::WriteFile(output.path(), "new"));
    // Written, then renamed into place, as another run saves its preview.
    const QString came = out + QStringLiteral("came");
    for (const QString &name : meanwhile) {
        QVERIFY(Fixtures::WriteFile(came, "another run's"));
        QCOMPARE(::rename(QFile::encodeName(came).constData(), QFile::encodeName(out + name).constData()), 0);
    }

    // Through the batch's result, which tells both names when the planned one was taken.
    PreviewResult result;
    result.preview = planned;
    QCOMPARE(result.commit(output), QString());

    QCOMPARE(output.finalPath(), out + saved);
    QCOMPARE(result.preview, out + saved);
    QCOMPARE(result.planned, meanwhile.isEmpty() ? QString() : planned);
    QCOMPARE(Fixtures::Contents(out + saved), QByteArray("new"));
    for (const QString &name : meanwhile)
        QCOMPARE(Fixtures::Contents(out + name), QByteArray("another run's"));
    QStringList names = meanwhile;
    if (!names.contains(saved))
        names << saved;
    names.sort();
    QCOMPARE(Fixtures::FilesBelow(out), names);
}

void TestPreviewJobReplacing::previewOfAnotherRunIsKept_data()
{
    QTest::addColumn<bool>("join");
    QTest::newRow("separate") << false;
    QTest::newRow("joined") << true;
}

// Another run saves a preview of the same name while this one cuts: the window keeps it and
// says under which name its own went.
void TestPreviewJobReplacing::previewOfAnotherRunIsKept()
{
    QFETCH(bool, join);
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString planned = scratch(join ? QStringLiteral("out/Joined_Preview.mp3") : QStringLiteral("out/A_Preview.mp3"));
    const QString bin = scratch(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    Fixtures::WriteScript(bin, QStringLiteral("sox"), QStringLiteral(
        "case \"$1\" in -h) ;; *) [ -e '%1' ] || echo another > '%1';; esac\nexec '%2' \"$@\"")
        .arg(planned, QStandardPaths::findExecutable(QStringLiteral("sox"))));
    qputenv("PATH", bin.toUtf8() + ':' + qgetenv("PATH"));
    window({a}, scratch(QStringLiteral("out")), false, false, join).PushButton2->click();

    const QString saved = Main::StripExtension(planned) + QStringLiteral(" (2).mp3");
    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 1 previews were made.\n1 of them got a free name, as a file of "
                                              "that name appeared during the run.\nSaved under a free name:\n")
                                   + (join ? planned : a) + QStringLiteral(": saved as ") + saved);
    QCOMPARE(Fixtures::Contents(planned), QByteArray("another\n"));
    verifyPreview(saved, 128000, 2, join ? 2 : 1);
}

void TestPreviewJobReplacing::filesWithoutTheMarkAreKept_data()
{
    QTest::addColumn<bool>("join");
    QTest::addColumn<bool>("ours"); // the file under the name is a preview an earlier run made
    QTest::newRow("a user's file, separate") << false << false;
    QTest::newRow("a user's file, joined") << true << false;
    QTest::newRow("an earlier preview, separate") << false << true;
    QTest::newRow("an earlier preview, joined") << true << true;
}

// A file under the preview's name is replaced only when it carries Lumbrisk's mark.
void TestPreviewJobReplacing::filesWithoutTheMarkAreKept()
{
    QFETCH(bool, join);
    QFETCH(bool, ours);
    const QString a = copyTone(QStringLiteral("in/A.mp3"));
    const QString out = scratch(QStringLiteral("out"));
    const QString planned = out + (join ? QStringLiteral("/Joined_Preview.mp3") : QStringLiteral("/A_Preview.mp3"));
    QVERIFY(QDir().mkpath(out));
    Form1 &form = window({a}, out, false, false, join);
    if (ours)
        form.PushButton2->click();
    else
        QVERIFY(QFile::copy(m_tone, planned));
    const QByteArray before = Fixtures::Contents(planned);

    form.PushButton2->click();

    const QString saved = Main::StripExtension(planned) + QStringLiteral(" (2).mp3");
    if (ours) {
        QCOMPARE(closingMessage(), QStringLiteral("Done."));
        QVERIFY(!QFile::exists(saved));
        return;
    }
    QCOMPARE(Fixtures::Contents(planned), before);
    verifyPreview(saved, 128000, 2, join ? 2 : 1);
    QCOMPARE(closingMessage(), QStringLiteral("Done.\n\n1 of 1 previews were made.\n1 of them got a free name, as a file "
                                              "without Lumbrisk's mark (a song, or a file of your own) holds the name, and is "
                                              "kept.\nSaved under a free name:\n")
                                   + (join ? planned : a) + QStringLiteral(": saved as ") + saved + QStringLiteral(", as ")
                                   + planned + QStringLiteral(" has no Lumbrisk mark and was kept"));
}

QTEST_MAIN(TestPreviewJobReplacing)
#include "tst_previewjob_replacing.moc"
