#include "core/storage/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <random>

namespace tovira {

namespace {

// Opens a regular file (links followed) of at most maxSize bytes for
// reading; -1 otherwise. *size is its size when opened.
int OpenRegularFile(const QString& path, qsizetype maxSize, qsizetype* size) {
    const QByteArray name = QFile::encodeName(path);
    // A pipe or a device is never opened for reading: a pipe would wait for a
    // writer and a device could be read forever. The non-blocking open and the
    // second check on the open file cover a file swapped in between.
    struct stat info {};
    if (name.isEmpty() || ::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxSize) {
        ::close(fd);
        return -1;
    }
    *size = qsizetype(info.st_size);
    return fd;
}

// Reads up to size bytes into data; the count read (less when the file shrank
// meanwhile), -1 on an error.
qsizetype ReadUpTo(int fd, char* data, qsizetype size) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, std::size_t(size - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += n;
    }
    return got;
}

}  // namespace

std::optional<QByteArray> ReadRegularFile(const QString& path, qsizetype maxSize) {
    qsizetype size = 0;
    const int fd = OpenRegularFile(path, maxSize, &size);
    if (fd < 0) return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    const qsizetype got = ReadUpTo(fd, bytes.data(), size);
    ::close(fd);
    if (got < 0) return std::nullopt;
    bytes.truncate(got);
    return bytes;
}

bool ReadRegularFileInPieces(const QString& path, qsizetype maxSize, qsizetype pieceSize,
                             const std::function<void(QByteArrayView)>& piece) {
    qsizetype left = 0;
    const int fd = OpenRegularFile(path, maxSize, &left);
    if (fd < 0) return false;
    // Never more than the size seen at the open, like the whole read.
    QByteArray buffer(std::min(pieceSize, left), Qt::Uninitialized);
    while (left > 0) {
        const qsizetype got = ReadUpTo(fd, buffer.data(), std::min(left, buffer.size()));
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile
        piece(QByteArrayView(buffer.constData(), got));
        left -= got;
    }
    ::close(fd);
    return true;
}

RegularFileReader::~RegularFileReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool RegularFileReader::Open(const QString& path, qsizetype maxSize) {
    if (fd_ >= 0) ::close(fd_);
    left_ = 0;
    fd_ = OpenRegularFile(path, maxSize, &left_);
    return fd_ >= 0;
}

qsizetype RegularFileReader::Read(char* into, qsizetype size) {
    if (fd_ < 0) return -1;
    const qsizetype got = ReadUpTo(fd_, into, std::min(size, left_));
    if (got < 0) return -1;
    // A file that shrank meanwhile ends where its bytes end.
    left_ = got == 0 ? 0 : left_ - got;
    return got;
}

FileSystemCalls& FileSystem() {
    static FileSystemCalls calls{
        [](const char* path, int flags, unsigned mode) {
            return ::open(path, flags, mode_t(mode));
        },
        [](int fd, const char* data, unsigned long size) { return long(::write(fd, data, size)); },
        [](int fd) { return ::fsync(fd); },
        [](int fd) { return ::close(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
    return calls;
}

namespace {

constexpr int kTempSuffixLength = 6;

bool IsTempSuffixChar(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

QString TempSuffix() {
    static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, int(sizeof kChars) - 2);
    QString suffix(kTempSuffixLength, Qt::Uninitialized);
    for (QChar& c : suffix) c = QLatin1Char(kChars[pick(generator)]);
    return suffix;
}

bool WriteAll(FileSystemCalls& fs, int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const long n =
            fs.write(fd, bytes.constData() + done, static_cast<unsigned long>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Makes the rename itself durable. A file system that cannot sync a folder
// (EINVAL) has nothing more to do.
bool SyncFolder(FileSystemCalls& fs, const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = fs.sync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    return WriteFileAtomicallyWithResult(path, bytes) == WriteResult::Written;
}

bool WriteFileAtomically(const QString& path,
                         const std::function<bool(const ByteSink& write)>& produce,
                         const std::function<bool()>& beforeRename) {
    return WriteFileAtomicallyWithResult(path, produce, beforeRename) == WriteResult::Written;
}

WriteResult WriteFileAtomicallyWithResult(const QString& path, const QByteArray& bytes) {
    return WriteFileAtomicallyWithResult(path, [&](const ByteSink& write) { return write(bytes); });
}

WriteResult WriteFileAtomicallyWithResult(const QString& path,
                                          const std::function<bool(const ByteSink& write)>& produce,
                                          const std::function<bool()>& beforeRename) {
    FileSystemCalls& fs = FileSystem();
    QString target = path;
    unsigned mode = 0666;  // less the umask, as for any new file
    bool keepMode = false;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            // Replace the file the link names and keep the link.
            target = QFileInfo(path).canonicalFilePath();
            if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &info) != 0) {
                return WriteResult::Failed;
            }
        }
        // Only a regular file is replaced, and a read-only one stays as it is.
        if (!S_ISREG(info.st_mode) || ::access(QFile::encodeName(target).constData(), W_OK) != 0) {
            return WriteResult::Failed;
        }
        mode = unsigned(info.st_mode & 07777);
        keepMode = true;
    } else if (errno != ENOENT) {
        return WriteResult::Failed;
    }

    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = QFile::encodeName(target + QLatin1Char('.') + TempSuffix());
        fd = fs.open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return WriteResult::Failed;
    }
    if (fd < 0) return WriteResult::Failed;
    if (keepMode) ::fchmod(fd, mode_t(mode));

    const bool written =
        produce([&](QByteArrayView piece) { return WriteAll(fs, fd, piece); }) && fs.sync(fd) == 0;
    // The descriptor is gone after close, whatever close reports.
    const bool closed = fs.close(fd) == 0;
    if (!written || !closed || (beforeRename && !beforeRename()) ||
        fs.rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        ::unlink(temp.constData());
        return WriteResult::Failed;
    }
    if (!SyncFolder(fs, QFileInfo(target).absolutePath())) return WriteResult::Unconfirmed;
    // Writes of this file that were cut short (a kill, a crash) left their
    // temporary files behind; the file just written supersedes them.
    RemoveStaleTemporaries(target);
    return WriteResult::Written;
}

int RemoveStaleTemporaries(const QString& path) {
    const QFileInfo file(path);
    const QString prefix = file.fileName() + QLatin1Char('.');
    const QDir folder = file.absoluteDir();
    int removed = 0;
    // Regular files only: no link, folder, pipe or device, whatever its name.
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (name.size() != prefix.size() + kTempSuffixLength || !name.startsWith(prefix)) continue;
        const QStringView suffix = QStringView(name).sliced(prefix.size());
        if (!std::all_of(suffix.begin(), suffix.end(), IsTempSuffixChar)) continue;
        if (QFile::remove(folder.filePath(name))) ++removed;
    }
    return removed;
}

FileStamp StampOf(const QString& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.size = qint64(info.st_size);
    stamp.modifiedSeconds = qint64(info.st_mtim.tv_sec);
    stamp.modifiedNanoseconds = qint64(info.st_mtim.tv_nsec);
    return stamp;
}

}  // namespace tovira
