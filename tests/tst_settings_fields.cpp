// The checks on the number fields, their hints, and the output-folder choice.

#include "testwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestSettingsFields : public QObject {
    Q_OBJECT

private slots:
    void numberCheckOnLeavingAField_data();
    void numberCheckOnLeavingAField();
    void twoRejectedFieldsDoNotPassTheFocusBackAndForth();
    void hintsShowTheirTexts();
    void outputFolderChoice_data();
    void outputFolderChoice();
    void cancelledOutputFolderChoiceChangesNothing();
    void outputFolderBrowserOpensAt_data();
    void outputFolderBrowserOpensAt();
};

void TestSettingsFields::numberCheckOnLeavingAField_data()
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

void TestSettingsFields::numberCheckOnLeavingAField()
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
void TestSettingsFields::twoRejectedFieldsDoNotPassTheFocusBackAndForth()
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

void TestSettingsFields::hintsShowTheirTexts()
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

void TestSettingsFields::outputFolderChoice_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("text1");
    QTest::newRow("folder gains a separator") << "/srv/previews" << "/srv/previews/";
    QTest::newRow("root stays as it is") << "/" << "/";
}

void TestSettingsFields::outputFolderChoice()
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

void TestSettingsFields::cancelledOutputFolderChoiceChangesNothing()
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

void TestSettingsFields::outputFolderBrowserOpensAt_data()
{
    QTest::addColumn<QString>("lastFolder"); // "-": never scanned
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("opensAt");
    const QString home = QDir::homePath();
    QTest::newRow("the last scanned folder") << "/srv/music" << home + "/" << "/srv/music";
    QTest::newRow("before any scan, the output folder") << "-" << home + "/" << home + "/";
    QTest::newRow("before any scan, without an output folder, home") << "-" << "/no/such/folder/" << home;
}

void TestSettingsFields::outputFolderBrowserOpensAt()
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

QTEST_MAIN(TestSettingsFields)
#include "tst_settings_fields.moc"
