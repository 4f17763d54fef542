// Settings that persist: written at once, restored on restart, read however the file was edited or broken.

#include "app/settingsrules.h"
#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "savedenvironment.h"
#include "testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

class TestSettingsStored : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsTheDefaults();
    void everyChangeIsWrittenAtOnce();
    void optionsAreWrittenInPairs();
    void restartRestoresEveryControl();
    void storedOptionsAcceptNumbers();
    void handEditedValues_data();
    void handEditedValues();
    void unusableStoredValuesAreReportedAndLeaveBuiltInStates_data();
    void unusableStoredValuesAreReportedAndLeaveBuiltInStates();
    void brokenSettingsFileNeverStopsTheProgram_data();
    void brokenSettingsFileNeverStopsTheProgram();
    void userStoreLivesInTheConfigFolder();
};

void TestSettingsStored::firstStartShowsTheDefaults()
{
    TestWindow test;
    Form1 &window = test.open();
    QCOMPARE(window.Text1->text(), SettingsRules::GetDesktopFolder());
    QVERIFY(window.Text1->text().endsWith(QLatin1Char('/')));
    QCOMPARE(window.Combo1->count(), 19);
    QCOMPARE(window.Combo1->itemText(0), QStringLiteral("Same bit rate as input file"));
    QCOMPARE(window.Combo1->itemText(18), QStringLiteral("8 kbps"));
    QCOMPARE(window.Combo1->currentText(), QStringLiteral("128 kbps"));
    QVERIFY(window.Option1->isChecked());
    QVERIFY(!window.Option2->isChecked());
    QVERIFY(!window.Option3->isChecked());
    QVERIFY(window.Option4->isChecked());
    QVERIFY(window.Frame1->isEnabled());
    QCOMPARE(window.Text2->text(), QStringLiteral("3"));
    QCOMPARE(window.Text3->text(), QStringLiteral("15"));
    QVERIFY(test.prompts.calls.isEmpty());
}

void TestSettingsStored::everyChangeIsWrittenAtOnce()
{
    TestWindow test;
    Form1 &window = test.open();
    test.settings->writes.clear();
    window.Text2->clear();
    QTest::keyClicks(window.Text2, QStringLiteral("65"));
    window.Text3->setText(QStringLiteral("20"));
    window.Text1->setText(QStringLiteral("/srv/previews/"));
    window.Combo1->setCurrentIndex(4);
    QCOMPARE(test.settings->writes,
             QStringList({"Text2=", "Text2=6", "Text2=65", "Text3=20", "Text1=/srv/previews/", "kbps=192 kbps"}));
    // Written through to the file, so a killed process loses nothing.
    SettingsStore reread(test.settingsFile());
    QCOMPARE(reread.read(QStringLiteral("Text2")), QStringLiteral("65"));
    QCOMPARE(reread.read(QStringLiteral("kbps")), QStringLiteral("192 kbps"));
}

void TestSettingsStored::optionsAreWrittenInPairs()
{
    TestWindow test;
    Form1 &window = test.open();
    test.settings->writes.clear();
    QTest::mouseClick(window.Option2, Qt::LeftButton);
    QCOMPARE(test.settings->writes, QStringList({"Option1=False", "Option2=True"}));
    QVERIFY(!window.Frame1->isEnabled());
    QTest::mouseClick(window.Option3, Qt::LeftButton);
    QCOMPARE(test.settings->writes.mid(2), QStringList({"Option3=True", "Option4=False"}));
    QTest::mouseClick(window.Option1, Qt::LeftButton);
    QVERIFY(window.Frame1->isEnabled());
    QCOMPARE(test.settings->writes.mid(4), QStringList({"Option1=True", "Option2=False"}));
}

void TestSettingsStored::restartRestoresEveryControl()
{
    TestWindow test;
    Form1 &first = test.open();
    first.Text1->setText(QStringLiteral("/srv/out/"));
    first.Text2->setText(QStringLiteral("abc"));
    first.Text3->setText(QStringLiteral("1.5"));
    first.Combo1->setCurrentIndex(0);
    QTest::mouseClick(first.Option2, Qt::LeftButton);
    QTest::mouseClick(first.Option3, Qt::LeftButton);

    Form1 &second = test.restart();
    QCOMPARE(second.Text1->text(), QStringLiteral("/srv/out/"));
    QCOMPARE(second.Text2->text(), QStringLiteral("abc"));
    QCOMPARE(second.Text3->text(), QStringLiteral("1.5"));
    QCOMPARE(second.Combo1->currentText(), QStringLiteral("Same bit rate as input file"));
    QVERIFY(second.Option2->isChecked() && !second.Option1->isChecked());
    QVERIFY(second.Option3->isChecked() && !second.Option4->isChecked());
    QVERIFY(!second.Frame1->isEnabled());
    QVERIFY(test.prompts.errorReports().isEmpty());
}

void TestSettingsStored::storedOptionsAcceptNumbers()
{
    TestWindow test;
    SettingsStore store(test.settingsFile());
    store.write(QStringLiteral("Option1"), QStringLiteral("0"));
    store.write(QStringLiteral("Option2"), QStringLiteral("-1"));
    store.write(QStringLiteral("Option3"), QStringLiteral("1"));
    store.write(QStringLiteral("Option4"), QStringLiteral("0"));
    Form1 &window = test.open();
    QVERIFY(window.Option2->isChecked());
    QVERIFY(window.Option3->isChecked());
    QVERIFY(!window.Frame1->isEnabled());
    QVERIFY(test.prompts.errorReports().isEmpty());
}

void TestSettingsStored::handEditedValues_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QString>("text2");
    const QString home = SettingsRules::GetDesktopFolder();
    QTest::newRow("unquoted comma") << QByteArray("Text1=/srv/My Music, Live/\n") << "/srv/My Music, Live/"
                                    << QStringList{"Option1", "Option4"} << "3";
    QTest::newRow("both place options False") << QByteArray("Option1=False\nOption2=False\n") << home
                                              << QStringList{"Option4"} << "3";
    QTest::newRow("both join options False") << QByteArray("Option3=False\nOption4=False\n") << home
                                             << QStringList{"Option1"} << "3";
    QTest::newRow("a start at each song's chorus") << QByteArray("Text2=auto\n") << home
                                                   << QStringList{"Option1", "Option4"} << "auto";
}

void TestSettingsStored::handEditedValues()
{
    QFETCH(QByteArray, lines);
    TestWindow test;
    QVERIFY(Fixtures::WriteFile(test.settingsFile(), "[Lumbrisk]\n" + lines));
    Form1 &window = test.open();
    QTEST(window.Text1->text(), "text1");
    QTEST(window.Text2->text(), "text2");
    QStringList selected;
    for (QRadioButton *option : {window.Option1, window.Option2, window.Option3, window.Option4}) {
        if (option->isChecked())
            selected << option->objectName();
    }
    QTEST(selected, "selected");
    QCOMPARE(window.Frame1->isEnabled(), window.Option1->isChecked());
    QVERIFY(test.prompts.calls.isEmpty());
}

void TestSettingsStored::unusableStoredValuesAreReportedAndLeaveBuiltInStates_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("line");
    QTest::newRow("bit rate not in the list") << "kbps" << "100 kbps" << 176;
    QTest::newRow("Option1 maybe") << "Option1" << "maybe" << 178;
    QTest::newRow("Option2 empty") << "Option2" << "" << 180;
    QTest::newRow("Option4 text") << "Option4" << "yes" << 190;
}

void TestSettingsStored::unusableStoredValuesAreReportedAndLeaveBuiltInStates()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, line);
    TestWindow test;
    SettingsStore(test.settingsFile()).write(key, value);
    Form1 &window = test.open();
    const QStringList reports = test.prompts.errorReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(QStringLiteral("Form1.Form_Load at line %1").arg(line)), qPrintable(reports.first()));
    QVERIFY(window.Option1->isChecked() && window.Option4->isChecked());
    if (key == QLatin1String("kbps"))
        QCOMPARE(window.Combo1->currentIndex(), -1);
    QCOMPARE(window.Text3->text(), QStringLiteral("15")); // later steps still ran
}

void TestSettingsStored::brokenSettingsFileNeverStopsTheProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason"); // told once when the settings cannot be saved
    QTest::newRow("damaged file") << QByteArray("\x00\xff[Lumbrisk\nText2=\x01\x02 = = =\n[[[\n", 28) << QString();
    QTest::newRow("a folder where the file should be") << QByteArray() << qt_error_string(EISDIR);
    QTest::newRow("a file where the folder should be") << QByteArray("folder") << qt_error_string(ENOTDIR);
}

void TestSettingsStored::brokenSettingsFileNeverStopsTheProgram()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    TestWindow test;
    const QString folder = QFileInfo(test.settingsFile()).absolutePath();
    if (content.isEmpty()) {
        QVERIFY(QDir().mkpath(test.settingsFile()));
    } else if (content == "folder") {
        QVERIFY(QDir().rmdir(folder) && Fixtures::WriteFile(folder, "not a folder"));
    } else {
        QVERIFY(Fixtures::WriteFile(test.settingsFile(), content));
    }
    Form1 &window = test.open();
    QCOMPARE(window.Combo1->count(), 19);
    QCOMPARE(window.Text3->text(), QStringLiteral("15"));
    window.ListView1->append(QStringLiteral("/music/a.mp3"));
    window.Text3->setText(QStringLiteral("20")); // a write that cannot land is not fatal
    QCOMPARE(window.ListView1->count(), 1);
    QCOMPARE(window.Text3->text(), QStringLiteral("20"));
    QCOMPARE(test.prompts.errorReports(), QStringList());
    const QList<ScriptedPrompts::Call> told = test.prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(told.size(), reason.isEmpty() ? 0 : 1);
    if (!reason.isEmpty()) {
        QCOMPARE(told.first().text, QStringLiteral("Lumbrisk cannot save its settings in %1: %2.\r\r"
                                                   "Your changes stay in effect until you close Lumbrisk.")
                                        .arg(test.settingsFile(), reason));
    }
}

void TestSettingsStored::userStoreLivesInTheConfigFolder()
{
    QTemporaryDir config;
    const SavedEnvironment environment({"XDG_CONFIG_HOME"});
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    SettingsStore store;
    QCOMPARE(store.fileName(), config.path() + QStringLiteral("/Tarnvolde/Lumbrisk.ini"));
    store.write(QStringLiteral("Extension"), QStringLiteral("wav"));
    QFile file(store.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("[Lumbrisk]\nExtension=wav"));
}

QTEST_MAIN(TestSettingsStored)
#include "tst_settings_stored.moc"
