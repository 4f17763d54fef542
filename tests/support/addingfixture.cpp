#include "addingfixture.h"

#include <QHash>
#include <QTest>
#include <QUrl>

// The tree's root exists from the start, so the data functions can name its files also when
// only the rows are listed (-datatags), without initTestCase.
AddingFixture::AddingFixture()
    : m_music(std::make_unique<FolderTree>(m_musicDir.path() + QStringLiteral("/music")))
{
}

void AddingFixture::initTestCase()
{
    // One tree for every test that only reads it.
    for (const char *file : {"R/one.mp3", "R/LOUD.MP3", "R/~lock.mp3", "R/.dot.mp3", "R/notes.txt", "R/README",
                             "R/Albums 2021/track 1.mp3", "R/Albums 2021/cover.jpg", "R/Albums 2021/Disc 2/deep.mp3",
                             "R/Müsik 日本/曲 one.mp3", "R/.hidden/secret.mp3", "R/.hidden/.also.mp3",
                             "R/Why?/CD1/track.mp3", "R/empty/.keep"})
        m_music->file(QString::fromUtf8(file));
    m_music->link(QStringLiteral("R/Albums 2021/Disc 2/loop"), QStringLiteral(".."));
}

void AddingFixture::init()
{
    m_test = std::make_unique<TestWindow>();
    m_test->open();
}

void AddingFixture::cleanup()
{
    QCOMPARE(m_test->prompts.errorReports(), QStringList());
    m_test.reset();
}

QStringList AddingFixture::musicFolders() const
{
    return {QStringLiteral("R"), QStringLiteral("R/.hidden"), QStringLiteral("R/Albums 2021"), QStringLiteral("R/empty"),
            QString::fromUtf8("R/Müsik 日本"), QStringLiteral("R/Why?"), QStringLiteral("R/Albums 2021/Disc 2"),
            QStringLiteral("R/Why?/CD1")};
}

QStringList AddingFixture::musicRows(const QStringList &folders, bool everyType) const
{
    const QHash<QString, QStringList> files{
        {QStringLiteral("R"), {QStringLiteral("LOUD.MP3"), QStringLiteral("notes.txt"), QStringLiteral("one.mp3"), QStringLiteral("README")}},
        {QStringLiteral("R/Albums 2021"), {QStringLiteral("cover.jpg"), QStringLiteral("track 1.mp3")}},
        {QStringLiteral("R/Albums 2021/Disc 2"), {QStringLiteral("deep.mp3")}},
        {QString::fromUtf8("R/Müsik 日本"), {QString::fromUtf8("曲 one.mp3")}},
        {QStringLiteral("R/.hidden"), {QStringLiteral("secret.mp3")}},
        {QStringLiteral("R/Why?/CD1"), {QStringLiteral("track.mp3")}}};
    QStringList rows;
    for (const QString &folder : folders) {
        for (const QString &name : files.value(folder)) {
            if (everyType || name.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
                rows << m_music->path(folder + QLatin1Char('/') + name);
        }
    }
    return rows;
}

QMimeData *AddingFixture::filesData(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}
