// The folder scan against `find <tree> -type f` over the same tree, warm cache: the scan on
// its own, and the window's "Add All" run that also puts every row into the list. Prints
// the median times of each and their ratios to find.
//
//   scan_bench [tree (/usr/lib)] [rounds (5)]

#include "app/form1.h"
#include "app/settingsstore.h"
#include "filelist/addfolder.h"
#include "filelist/filelistview.h"
#include "platform/prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Answers the extension box with "*" and the folder browser with the tree.
class BenchPrompts : public Prompts {
public:
    explicit BenchPrompts(const QString &tree) : m_tree(tree) {}
    void message(const QString &, const QString &text, Icon, const QString &) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &) override { return false; }
    QString input(const QString &, const QString &, const QString &) override { return QStringLiteral("*"); }
    QStringList openFiles(const QString &, const QString &) override { return {}; }
    QString browseForFolder(const QString &, const QString &) override { return m_tree; }
    void openFolder(const QString &) override {}

private:
    QString m_tree;
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double secondsOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

void runFind(const QString &tree)
{
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    find.start(QStringLiteral("find"), {tree, QStringLiteral("-type"), QStringLiteral("f")});
    find.waitForFinished(-1);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString tree = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/lib");
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir scratch;
    BenchPrompts prompts(tree);
    SettingsStore settings(scratch.path() + QStringLiteral("/settings.ini"));
    Form1Setup setup;
    setup.prompts = &prompts;
    setup.settings = &settings;
    setup.programFolder = scratch.path();

    runFind(tree); // warms the cache
    QList<double> finds, scans, windows;
    qsizetype scanRows = 0;
    int windowRows = 0;
    for (int round = 0; round < rounds; ++round) {
        finds << secondsOf([&] { runFind(tree); });
        scans << secondsOf([&] { scanRows = AddFolder::ScanFolder(prompts, tree, QStringLiteral("*.*")).size(); });
        Form1 window(setup);
        window.show();
        windows << secondsOf([&] { window.PushButton4_Click(); });
        windowRows = window.ListView1->count();
    }
    const double find = median(finds);
    std::printf("tree %s, %d rounds, medians; the scan found %lld files, the window listed %d\n",
                qPrintable(tree), rounds, static_cast<long long>(scanRows), windowRows);
    std::printf("find -type f   %.3f s\n", find);
    std::printf("scan           %.3f s   %.2f x find\n", median(scans), median(scans) / find);
    std::printf("window's scan  %.3f s   %.2f x find\n", median(windows), median(windows) / find);
    return 0;
}
