#pragma once
// The adding tests' window, opened afresh for each test, and one music tree made once
// for every test that only reads it.

#include "app/form1.h"
#include "foldertree.h"
#include "testwindow.h"

#include <QMimeData>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

class AddingFixture : public QObject {
    Q_OBJECT

public:
    AddingFixture();

private slots:
    void initTestCase();
    void init();
    void cleanup();

protected:
    // Rows of the music tree's files: folders in the order given, each folder's names in
    // name order.
    QStringList musicRows(const QStringList &folders, bool everyType) const;
    // The music tree's folders below R, breadth first in name order.
    QStringList musicFolders() const;
    Form1 &window() { return *m_test->window; }
    // Drag-and-drop data that carries the paths as file URLs.
    static QMimeData *filesData(const QStringList &paths);

    QTemporaryDir m_musicDir;
    std::unique_ptr<FolderTree> m_music;
    std::unique_ptr<TestWindow> m_test;
};
