#include "filelist/folderlisting.h"

#include "platform/filenames.h"
#include "platform/safefiles.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace FolderListing {

namespace {

// Linux's own limit: a path the system can open is shorter than 4096 bytes (its limit of
// 255 bytes per name holds for every name a listing gives).
constexpr qsizetype MaxPathBytes = 4096;
// Sorts the entries by the names that name gives, as file managers show them.
template <typename Entry, typename Name>
void sortByName(QList<Entry> &entries, const Name &name)
{
    QStringList names;
    names.reserve(entries.size());
    for (const Entry &entry : std::as_const(entries))
        names.append(name(entry));
    QList<Entry> sorted;
    sorted.reserve(entries.size());
    for (const qsizetype index : FileNames::NaturalOrder(names))
        sorted.append(std::move(entries[index]));
    entries = std::move(sorted);
}

void sortByName(Listing &listing)
{
    sortByName(listing.files, [](const AddFolder::FileEntry &entry) { return entry.name; });
    sortByName(listing.folders, [](const FolderEntry &entry) { return entry.name; });
    sortByName(listing.undecodable, [](const UndecodableEntry &entry) { return QString::fromUtf8(entry.name); });
}

} // namespace


FolderId IdOf(const struct stat &info)
{
    return {quint64(info.st_dev), quint64(info.st_ino)};
}

bool IsRefusedOrMissing(int failure)
{
    return failure == EACCES || failure == EPERM || failure == ENOENT || failure == ENOTDIR;
}

bool IsTrashName(QStringView name)
{
    if (name == u".Trash")
        return true;
    if (!name.startsWith(u".Trash-") || name.size() == 7)
        return false;
    for (const QChar c : name.mid(7)) {
        if (!c.isDigit())
            return false;
    }
    return true;
}

std::optional<FolderId> HomeTrash()
{
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    struct stat info {};
    if (stat(QFile::encodeName(trash).constData(), &info) != 0)
        return std::nullopt;
    return IdOf(info);
}

bool IsMountTop(int fd)
{
    struct stat self {}, parent {};
    if (fstat(fd, &self) != 0 || fstatat(fd, "..", &parent, 0) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

bool SystemFolders::contains(const QByteArray &path, const FolderId &id)
{
    // /dev is a tmpfs as user folders may be: it counts by its place, or by its device when
    // it is a mount of its own.
    struct Known {
        QList<FolderId> folders;
        std::optional<quint64> devDevice;
    };
    static const Known known = [] {
        Known system;
        for (const char *folder : {"/proc", "/sys", "/dev"}) {
            struct stat info {};
            if (stat(folder, &info) == 0)
                system.folders.append(IdOf(info));
        }
        struct stat root {}, dev {};
        if (stat("/", &root) == 0 && stat("/dev", &dev) == 0 && dev.st_dev != root.st_dev)
            system.devDevice = quint64(dev.st_dev);
        return system;
    }();
    if (known.folders.contains(id) || known.devDevice == id.first)
        return true;
    auto device = m_devices.find(id.first);
    if (device == m_devices.end())
        device = m_devices.insert(id.first, SafeFiles::OnSystemFileSystem(path));
    return *device;
}

Listing Read(const QByteArray &folder)
{
    Listing listing;
    const int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
        listing.failure = errno;
        if (fd >= 0)
            close(fd);
        return listing;
    }
    std::optional<bool> mountTop;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            listing.failure = errno;
            break;
        }
        const QByteArrayView bytes(entry->d_name);
        if (bytes == ".." || bytes == "." || folder.size() + bytes.size() >= MaxPathBytes)
            continue;
        // The entry's type comes with the listing; only links and unknown types cost a lookup.
        struct stat info {};
        bool link = entry->d_type == DT_LNK;
        unsigned char type = entry->d_type;
        const auto lookupFailed = [&listing] {
            if (listing.lookupFailure == 0 && errno != ENOENT && errno != ELOOP)
                listing.lookupFailure = errno;
        };
        if (type == DT_UNKNOWN) {
            if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                lookupFailed();
                continue;
            }
            link = S_ISLNK(info.st_mode);
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (link || type == DT_DIR) {
            if (fstatat(fd, entry->d_name, &info, 0) != 0) {
                lookupFailed(); // unless a broken link
                continue;
            }
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        const QString name = FileNames::Decoded(bytes);
        if (name.isNull() && (type == DT_REG || type == DT_DIR)) {
            listing.undecodable.append({bytes.toByteArray(), type == DT_DIR});
        } else if (type == DT_REG) {
            listing.files.append({name, !link && name.startsWith(QLatin1Char('.'))});
        } else if (type == DT_DIR) {
            if (IsTrashName(name) && !mountTop)
                mountTop = IsMountTop(fd);
            listing.folders.append({name, IdOf(info)});
        }
    }
    closedir(dir);
    listing.mountTop = mountTop.value_or(false);
    sortByName(listing);
    return listing;
}


} // namespace FolderListing
