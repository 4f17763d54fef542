#pragma once
// Folder trees made at test time, and folders that the scan is refused to read.

#include <QString>
#include <QStringList>

class FolderTree {
public:
    // The tree's top folder; made when missing.
    explicit FolderTree(const QString &root);

    QString root() const { return m_root; }
    // root + "/" + relative.
    QString path(const QString &relative) const;
    // Makes the folder and the folders above it.
    void folder(const QString &relative) const;
    // Makes an empty file and the folders above it.
    void file(const QString &relative) const;
    // Makes a folder or an empty file whose path is given as bytes (names need not be valid
    // UTF-8), and the folders above it.
    void withBytes(const QByteArray &relative, bool isFolder) const;
    // Removes the tree, whatever the bytes of its names.
    void removeAll() const;
    // Makes a symbolic link at relative that points to target (as given).
    void link(const QString &relative, const QString &target) const;

private:
    QString m_root;
};

// For its lifetime, the folders cannot be read: mode 000 and, when the test runs as root
// (whom modes do not stop), a file-system user id without root's rights.
class UnreadableFolders {
public:
    explicit UnreadableFolders(const QStringList &folders);
    ~UnreadableFolders();
    UnreadableFolders(const UnreadableFolders &) = delete;
    UnreadableFolders &operator=(const UnreadableFolders &) = delete;

    // False when some folder can still be read, so the test has nothing to show.
    bool inEffect() const;

private:
    QStringList m_folders;
    bool m_droppedRoot = false;
    unsigned m_formerGroup = 0;
};
