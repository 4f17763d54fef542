// Reading a list of starts: RFC 4180 quoting, the header, the forms of a start, files
// relative to the list's folder, and bad rows named by their line.

#include "preview/startlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestStartList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void read_data();
    void read();
    void readFile_data();
    void readFile();
    void goneRowsAreLeftOutWhenAsked();
    void rowsGiveTheirSourcesCuts();

private:
    // "name start=S share=P duration=D" per row, "; " between rows; or the problem.
    QString described(const StartList::Reading &reading) const;

    QTemporaryDir m_dir;
};

void TestStartList::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("sub")));
    for (const char *name : {"a.mp3", "b, \"c\".mp3", "sub/d.flac", "e .mp3", "=HYPERLINK(\"x\").mp3"}) {
        QFile file(m_dir.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

QString TestStartList::described(const StartList::Reading &reading) const
{
    if (!reading.problem.isEmpty())
        return reading.problem;
    QStringList rows;
    for (const StartList::Row &row : reading.rows) {
        QString text = QDir(m_dir.path()).relativeFilePath(row.path);
        if (row.cut.startSeconds)
            text += QStringLiteral(" start=%1").arg(*row.cut.startSeconds);
        if (row.cut.startShare)
            text += QStringLiteral(" share=%1").arg(*row.cut.startShare);
        if (row.cut.startAtChorus)
            text += QStringLiteral(" auto");
        if (row.cut.durationSeconds)
            text += QStringLiteral(" duration=%1").arg(*row.cut.durationSeconds);
        rows.append(text);
    }
    return rows.join(QStringLiteral("; "));
}

void TestStartList::read_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("expected");
    QTest::newRow("header, every start form, empty fields")
        << "file,start,duration\r\na.mp3,1:05,20\r\nsub/d.flac,40%,\n\na.mp3,,0:02.5\na.mp3,auto\n"
        << "a.mp3 start=65 duration=20; sub/d.flac share=0.4; a.mp3 duration=2.5; a.mp3 auto";
    QTest::newRow("no header, no duration column") << "a.mp3,2.5" << "a.mp3 start=2.5";
    QTest::newRow("quoted comma and quotes") << "\"b, \"\"c\"\".mp3\",3,\"4\"\n" << "b, \"c\".mp3 start=3 duration=4";
    QTest::newRow("a name ending in a blank, quoted") << "\"e .mp3\",1\n" << "e .mp3 start=1";
    QTest::newRow("blanks around a name") << " a.mp3 ,1\n" << "a.mp3 start=1";
    // As the review page saves a name a spreadsheet would run as a formula.
    QTest::newRow("a name behind ./") << "\"./=HYPERLINK(\"\"x\"\").mp3\",1\n" << "=HYPERLINK(\"x\").mp3 start=1";
    QTest::newRow("the folder of the list") << "sub/../a.mp3,1\n" << "a.mp3 start=1";
    // Each name is looked up once; each spelling still names its file, and a bad one each line.
    QTest::newRow("one file in several spellings") << "a.mp3,1\n./a.mp3,2\na.mp3,3\nsub/../a.mp3,4\n"
                                                   << "a.mp3 start=1; a.mp3 start=2; a.mp3 start=3; a.mp3 start=4";
    // The same preview twice: named by its line, as bad rows are.
    QTest::newRow("a row repeated, in another spelling") << "a.mp3,1,6\n./a.mp3,1,6\na.mp3,1,7\na.mp3,auto\nsub/../a.mp3,auto\n"
                                                         << "line 2: ./a.mp3 again, with the start and duration of line 1, which "
                                                            "makes that preview already\nline 5: sub/../a.mp3 again, with the "
                                                            "start and duration of line 4, which makes that preview already";
    QTest::newRow("a missing file named twice") << "a.mp3,1\ngone.mp3,1\ngone.mp3,2\n"
                                                << "line 2: no such file: gone.mp3\nline 3: no such file: gone.mp3";
    // A quoted line break does not end the record, but the lines still count.
    QTest::newRow("line number after a quoted line break")
        << "file,start\na.mp3,\"1\n\"\na.mp3,1:60\n"
        << "line 4: start '1:60': give seconds (65, 2.5), m:ss (1:05), a share of the track (40%) or auto";
    QTest::newRow("unreadable start") << "a.mp3,1\na.mp3,soon\n"
                                      << "line 2: start 'soon': give seconds (65, 2.5), m:ss (1:05), a share of the "
                                         "track (40%) or auto";
    QTest::newRow("zero duration") << "a.mp3,1,0\n" << "line 1: duration '0': give seconds (65, 2.5) or m:ss (1:05), above 0";
    QTest::newRow("four fields") << "a.mp3,1,2,3\n" << "line 1: give file,start or file,start,duration";
    QTest::newRow("no file named") << "file,start\n,1\n" << "line 2: no file named";
    QTest::newRow("semicolons, decimal commas") << "file;start;duration\na.mp3;0,50;1:02,5\n\"b, \"\"c\"\".mp3\";40,5%\n"
                                                << "a.mp3 start=0.5 duration=62.5; b, \"c\".mp3 share=0.405";
    QTest::newRow("tabs, a decimal comma in the first row") << "a.mp3\t2,5\n" << "a.mp3 start=2.5";
    QTest::newRow("every bad row") << "a.mp3,1\ngone.mp3,1\na.mp3,1,0\n"
                                   << "line 2: no such file: gone.mp3\nline 3: duration '0': give seconds (65, 2.5) or "
                                      "m:ss (1:05), above 0";
    QString gone;
    QStringList told;
    for (int line = 1; line <= 23; ++line) {
        gone += QStringLiteral("gone.mp3,1\n");
        if (line <= 20)
            told.append(QStringLiteral("line %1: no such file: gone.mp3").arg(line));
    }
    QTest::newRow("the first 20 bad rows, then how many more") << gone << told.join(QLatin1Char('\n')) + "\nand 3 more";
    // A file that exists or a time makes a first line a row, and a bad one is reported.
    QTest::newRow("first row with a bad time") << "a.mp3,1:5,10\n"
                                               << "line 1: start '1:5': give seconds (65, 2.5), m:ss (1:05), a share of "
                                                  "the track (40%) or auto";
}

void TestStartList::read()
{
    QFETCH(QString, csv);
    QFETCH(QString, expected);
    QCOMPARE(described(StartList::Read(csv, m_dir.path())), expected);
}

// A list read from its file: streamed in pieces, and only a regular file of a sane size.
void TestStartList::readFile_data()
{
    QTest::addColumn<QString>("name"); // in the test's folder; "/dev/zero" as it is
    QTest::addColumn<QString>("expected");
    const QString notRegular = QStringLiteral("it is not a regular file (a pipe, device or folder), so it was not read");
    QTest::newRow("a FIFO, which would block") << "fifo.csv" << notRegular;
    QTest::newRow("a device without end") << "/dev/zero" << notRegular;
    QTest::newRow("above 64 MB") << "huge.csv" << "it is larger than 64 MB, the most a list of starts may be";
    QTest::newRow("no such file") << "gone.csv" << "No such file or directory";
    // 5000 rows pass several pieces; a quoted field is split across two of them.
    QStringList many;
    for (int row = 1; row < 5000; ++row)
        many.append(QStringLiteral("a.mp3 start=%1").arg(row));
    QTest::newRow("many rows, in pieces") << "long.csv" << many.join(QStringLiteral("; ")) + QStringLiteral("; b, \"c\".mp3 start=2");
    // A row costs its cut: the rows of one file share one path, however many there are.
    QTest::newRow("many rows of one file share its path") << "long.csv" << "shared";
    // The separator is known only once the first line has ended, here in the second piece.
    QTest::newRow("a spreadsheet's first line across pieces") << "wide.csv" << "a.mp3 start=0.5";
}

void TestStartList::readFile()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const QString path = name.startsWith(QLatin1Char('/')) ? name : m_dir.filePath(name);
    if (name == QLatin1String("fifo.csv"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QFile file(path);
    if (name == QLatin1String("huge.csv")) {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(StartList::MaxListBytes + 1));
    } else if (name == QLatin1String("long.csv")) {
        QByteArray rows;
        for (int row = 1; row < 5000; ++row)
            rows += "a.mp3," + QByteArray::number(row) + '\n';
        rows.append(QByteArray(65536 - rows.size() - 3, '\n')).append("\"b, \"\"c\"\".mp3\",2\n");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rows) == rows.size());
    } else if (name == QLatin1String("wide.csv")) {
        const QByteArray rows = '"' + QByteArray(70000, 'x') + "\";start\na.mp3;0,5\n";
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rows) == rows.size());
    }
    file.close();
    const StartList::Reading reading = StartList::ReadFile(path);
    if (expected == QLatin1String("shared")) {
        QCOMPARE(reading.rows.size(), 5000);
        QCOMPARE(reading.rows.at(4998).path.constData(), reading.rows.at(0).path.constData());
        return;
    }
    QCOMPARE(described(reading), expected);
}

// A nightly run leaves out the rows of songs withdrawn since; any other bad row still stops it.
void TestStartList::goneRowsAreLeftOutWhenAsked()
{
    const StartList::Reading left =
        StartList::Read(QStringLiteral("a.mp3,1\ngone.mp3,2\n"), m_dir.path(), StartList::Gone::LeftOut);
    QCOMPARE(described(left), QStringLiteral("a.mp3 start=1"));
    QCOMPARE(left.gone, QStringList{QStringLiteral("line 2: no such file: gone.mp3")});
    const StartList::Reading bad =
        StartList::Read(QStringLiteral("gone.mp3,2\na.mp3,soon\n"), m_dir.path(), StartList::Gone::LeftOut);
    QVERIFY(bad.rowProblem && bad.problem.startsWith(QStringLiteral("line 2: start 'soon'")));
}

// A file listed twice keeps each row's cut; one not listed takes the command line's.
void TestStartList::rowsGiveTheirSourcesCuts()
{
    const StartList::Reading reading = StartList::Read(QStringLiteral("a.mp3,1\na.mp3,2\n"), m_dir.path());
    const QString a = m_dir.filePath(QStringLiteral("a.mp3"));
    const QList<StartList::SourceCut> cuts =
        StartList::CutsFor({a, m_dir.filePath(QStringLiteral("sub/d.flac")), a, a}, reading.rows);
    QCOMPARE(cuts.size(), 4);
    QCOMPARE(cuts.at(0).startSeconds, 1.0);
    QVERIFY(!cuts.at(1).startSeconds && !cuts.at(1).startShare);
    QCOMPARE(cuts.at(2).startSeconds, 2.0);
    QCOMPARE(cuts.at(3).startSeconds, 2.0);
    QVERIFY(StartList::CutsFor({m_dir.filePath(QStringLiteral("sub/d.flac"))}, reading.rows).isEmpty());
    // Named once, a file takes its first row; the second is no source's.
    QCOMPARE(StartList::UnusedLines({a, m_dir.filePath(QStringLiteral("sub/d.flac"))}, reading.rows), QList<int>{2});
    QCOMPARE(StartList::UnusedLines({a, a, a}, reading.rows), QList<int>());
    // A source reached through a link, or by a path through a linked folder, is the file a row names.
    QVERIFY(QFile::link(a, m_dir.filePath(QStringLiteral("link.mp3"))));
    QVERIFY(QFile::link(m_dir.path(), m_dir.filePath(QStringLiteral("sub/up"))));
    const QList<StartList::SourceCut> linked = StartList::CutsFor(
        {m_dir.filePath(QStringLiteral("link.mp3")), m_dir.filePath(QStringLiteral("sub/up/a.mp3"))}, reading.rows);
    QCOMPARE(linked.size(), 2);
    QCOMPARE(linked.at(0).startSeconds, 1.0);
    QCOMPARE(linked.at(1).startSeconds, 2.0);
}

QTEST_GUILESS_MAIN(TestStartList)
#include "tst_startlist.moc"
