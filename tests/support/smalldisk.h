#pragma once
// A small file system that fills up: a tmpfs mounted over a folder while the guard lives.
// Mounting needs root; mounted() says whether it worked.

#include <QString>

namespace Fixtures {

class SmallDisk {
public:
    SmallDisk(const QString &folder, const QString &size);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    // Writes a file of filler into the folder until the disk takes no more; false when it
    // could not be written at all.
    bool fill() const;

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace Fixtures
