// Settings that persist, the checks on the number fields and the output-folder choice.

#include "app/form1.h"
#include "app/settingsrules.h"
#include "audiofixtures.h"
#include "filelist/filelistview.h"
#include "savedenvironment.h"
#include "testwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cerrno>

class TestSettings : public QObject {
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
    void numberCheckOnLeavingAField_data();
    void numberCheckOnLeavingAField();
    void twoRejectedFieldsDoNotPassTheFocusBackAndForth();
    void hintsShowTheirTexts();
    void outputFolderChoice_data();
    void outputFolderChoice();
    void cancelledOutputFolderChoiceChangesNothing();
    void outputFolderBrowserOpensAt_data();
    void outputFolderBrowserOpensAt();
    void brokenSettingsFileNeverStopsTheProgram_data();
    void brokenSettingsFileNeverStopsTheProgram();
    void userStoreLivesInTheConfigFolder();
};

void TestSettings::firstStartShowsTheDefaults()
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

void TestSettings::everyChangeIsWrittenAtOnce()
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

void TestSettings::optionsAreWrittenInPairs()
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

void TestSettings::restartRestoresEveryControl()
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

void TestSettings::storedOptionsAcceptNumbers()
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

void TestSettings::handEditedValues_data()
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

void TestSettings::handEditedValues()
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

void TestSettings::unusableStoredValuesAreReportedAndLeaveBuiltInStates_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("line");
    QTest::newRow("bit rate not in the list") << "kbps" << "100 kbps" << 176;
    QTest::newRow("Option1 maybe") << "Option1" << "maybe" << 178;
    QTest::newRow("Option2 empty") << "Option2" << "" << 180;
    QTest::newRow("Option4 text") << "Option4" << "yes" << 190;
}

void TestSettings::unusableStoredValuesAreReportedAndLeaveBuiltInStates()
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

void TestSettings::numberCheckOnLeavingAField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("startMessage"); // the start field's, where it differs
    const QString numeric = QStringLiteral("Must be numeric.");
    const QString forms = numeric + QStringLiteral("\nGive seconds (65, 2.5), m:ss (1:05) or h:mm:ss (1:02:03), a share "
                                                  "of each song (25%), or auto for where each song's chorus begins.");
    QTest::newRow("0") << "0" << "Must be greater than zero." << "Must be greater than zero.";
    QTest::newRow("-5") << "-5" << "Must be greater than zero." << "Must be greater than zero.";
    QTest::newRow("0.4") << "0.4" << "Must be greater than zero." << "Must be greater than zero.";
    QTest::newRow("0.5 rounds to 0") << "0.5" << "Must be greater than zero." << "Must be greater than zero.";
    QTest::newRow("1.5") << "1.5" << "" << "";
    QTest::newRow("30") << "30" << "" << "";
    QTest::newRow("empty") << "" << numeric << forms;
    QTest::newRow("abc") << "abc" << numeric << forms;
    QTest::newRow("1:05") << "1:05" << numeric << "";
    QTest::newRow("0:00") << "0:00" << numeric << "Must be greater than zero.";
    QTest::newRow("25%") << "25%" << numeric << "";
    QTest::newRow("0%") << "0%" << numeric << "Must be greater than zero.";
    QTest::newRow("auto") << "auto" << numeric << "";
}

void TestSettings::numberCheckOnLeavingAField()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, startMessage);
    for (const bool duration : {false, true}) {
        const QString expected = duration ? message : startMessage;
        TestWindow test;
        Form1 &window = test.open();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QLineEdit *field = duration ? window.Text3 : window.Text2;
        field->setFocus(Qt::TabFocusReason);
        field->setText(text);
        window.PushButton2->setFocus(Qt::TabFocusReason);
        const QList<ScriptedPrompts::Call> messages = test.prompts.callsOf(QStringLiteral("message"));
        if (expected.isEmpty()) {
            QVERIFY(messages.isEmpty());
            QVERIFY(window.PushButton2->hasFocus());
        } else {
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages.first().text, expected);
            QCOMPARE(messages.first().title, window.applicationTitle());
            QCOMPARE(messages.first().icon, Prompts::Icon::None);
            QVERIFY(field->hasFocus());
        }
        QCOMPARE(field->text(), text); // the check never changes the text
        QCOMPARE(test.settings->read(duration ? QStringLiteral("Text3") : QStringLiteral("Text2")), text);
    }
}

// Putting the focus back into the first field takes it from the second; that is not the
// user leaving the second field, so it is not checked (else the two would return the focus
// to each other without end, one message after another).
void TestSettings::twoRejectedFieldsDoNotPassTheFocusBackAndForth()
{
    TestWindow test;
    Form1 &window = test.open();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.Text2->setText(QStringLiteral("abc"));
    window.Text3->setText(QStringLiteral("0"));
    window.Text2->setFocus(Qt::TabFocusReason);
    window.Text3->setFocus(Qt::TabFocusReason);
    const QList<ScriptedPrompts::Call> messages = test.prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.first().text.startsWith(QStringLiteral("Must be numeric.\n")));
    QVERIFY(window.Text2->hasFocus());
    // Leaving the second field itself is checked as ever.
    window.Text2->setText(QStringLiteral("5"));
    window.Text3->setFocus(Qt::TabFocusReason);
    window.PushButton2->setFocus(Qt::TabFocusReason);
    QCOMPARE(test.prompts.callsOf(QStringLiteral("message")).size(), 2);
    QCOMPARE(test.prompts.callsOf(QStringLiteral("message")).at(1).text, QStringLiteral("Must be greater than zero."));
    QVERIFY(window.Text3->hasFocus());
}

void TestSettings::hintsShowTheirTexts()
{
    TestWindow test;
    Form1 &window = test.open();
    QTest::mouseClick(window.PushButton6, Qt::LeftButton);
    QTest::mouseClick(window.PushButton7, Qt::LeftButton);
    const QList<ScriptedPrompts::Call> messages = test.prompts.callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0).text, QStringLiteral("If you want to start recording at 1:05 in all MP3 files, you should enter 65 here (for example).\r\r"
                                                 "Give seconds (65, 2.5), m:ss (1:05) or h:mm:ss (1:02:03), a share of each song (25%), "
                                                 "or auto for where each song's chorus begins."));
    QCOMPARE(messages.at(1).text, QStringLiteral("If you enter 20 here and 30 in the previous text box you will record from 0:20 to 0:50 for all MP3 files (for example)."));
    for (const ScriptedPrompts::Call &call : messages) {
        QCOMPARE(call.title, QStringLiteral("Lumbrisk"));
        QCOMPARE(call.icon, Prompts::Icon::None);
    }
}

void TestSettings::outputFolderChoice_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("text1");
    QTest::newRow("folder gains a separator") << "/srv/previews" << "/srv/previews/";
    QTest::newRow("root stays as it is") << "/" << "/";
}

void TestSettings::outputFolderChoice()
{
    QFETCH(QString, chosen);
    QFETCH(QString, text1);
    TestWindow test;
    SettingsStore(test.settingsFile()).write(QStringLiteral("LastFolder"), QStringLiteral("/srv/music"));
    Form1 &window = test.open();
    test.prompts.folderAnswers.enqueue(chosen);
    QTest::mouseClick(window.PushButton12, Qt::LeftButton);
    const ScriptedPrompts::Call browse = test.prompts.callsOf(QStringLiteral("browseForFolder")).value(0);
    QCOMPARE(browse.title, QStringLiteral("Please select folder:"));
    QCOMPARE(browse.extra, QStringLiteral("/srv/music")); // opens at the last scanned folder
    QCOMPARE(window.Text1->text(), text1);
    QCOMPARE(test.settings->read(QStringLiteral("Text1")), text1);
    QCOMPARE(test.settings->read(QStringLiteral("LastFolderDot")), chosen);
    QCOMPARE(test.settings->read(QStringLiteral("LastFolder")), QStringLiteral("/srv/music"));
}

void TestSettings::cancelledOutputFolderChoiceChangesNothing()
{
    TestWindow test;
    Form1 &window = test.open();
    const QString before = window.Text1->text();
    test.settings->writes.clear();
    QTest::mouseClick(window.PushButton12, Qt::LeftButton);
    QCOMPARE(window.Text1->text(), before);
    QVERIFY(test.settings->writes.isEmpty());
    QVERIFY(test.prompts.errorReports().isEmpty());
}

void TestSettings::outputFolderBrowserOpensAt_data()
{
    QTest::addColumn<QString>("lastFolder"); // "-": never scanned
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("opensAt");
    const QString home = QDir::homePath();
    QTest::newRow("the last scanned folder") << "/srv/music" << home + "/" << "/srv/music";
    QTest::newRow("before any scan, the output folder") << "-" << home + "/" << home + "/";
    QTest::newRow("before any scan, without an output folder, home") << "-" << "/no/such/folder/" << home;
}

void TestSettings::outputFolderBrowserOpensAt()
{
    QFETCH(QString, lastFolder);
    QFETCH(QString, text1);
    TestWindow test;
    SettingsStore store(test.settingsFile());
    if (lastFolder != QLatin1String("-"))
        store.write(QStringLiteral("LastFolder"), lastFolder);
    store.write(QStringLiteral("Text1"), text1);
    Form1 &window = test.open();
    QTest::mouseClick(window.PushButton12, Qt::LeftButton);
    QTEST(test.prompts.callsOf(QStringLiteral("browseForFolder")).value(0).extra, "opensAt");
}

void TestSettings::brokenSettingsFileNeverStopsTheProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason"); // told once when the settings cannot be saved
    QTest::newRow("damaged file") << QByteArray("\x00\xff[Lumbrisk\nText2=\x01\x02 = = =\n[[[\n", 28) << QString();
    QTest::newRow("a folder where the file should be") << QByteArray() << qt_error_string(EISDIR);
    QTest::newRow("a file where the folder should be") << QByteArray("folder") << qt_error_string(ENOTDIR);
}

void TestSettings::brokenSettingsFileNeverStopsTheProgram()
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

void TestSettings::userStoreLivesInTheConfigFolder()
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

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
