#pragma once
// Reading and writing whole files: regular files only (never a pipe or a
// device), and every write atomic and durable, through a temporary file in the
// same folder renamed over the target, so that a crash or a full disk never
// leaves half a file behind.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

namespace tovira {

// The bytes of a regular file (links followed) of at most maxSize bytes;
// nothing for a missing or unreadable file, a folder, a pipe or a device.
std::optional<QByteArray> ReadRegularFile(const QString& path, qsizetype maxSize);
// The same file handed to piece in pieces of at most pieceSize bytes, in
// order, so that it never has to be held whole; false on the same refusals
// and on a read error (pieces may have come by then).
bool ReadRegularFileInPieces(const QString& path, qsizetype maxSize, qsizetype pieceSize,
                             const std::function<void(QByteArrayView)>& piece);

// The same file read into the caller's own memory, as much at a time as the
// caller asks: a reader that keeps what it has not used yet reads the rest
// behind it, with no second copy.
class RegularFileReader {
  public:
    RegularFileReader() = default;
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;
    ~RegularFileReader();
    // False on the refusals of ReadRegularFile.
    bool Open(const QString& path, qsizetype maxSize);
    // Reads up to size bytes into `into`, never past the size the file had
    // when opened: the count read, 0 at the end, -1 on an error.
    qsizetype Read(char* into, qsizetype size);
    // What is still to be read of the size seen at the open.
    qsizetype Left() const { return left_; }

  private:
    int fd_ = -1;
    qsizetype left_ = 0;
};

// Writes the bytes to "<path>.XXXXXX" in the same folder (created exclusively),
// syncs and closes it, renames it over the target and syncs the folder. False,
// with an existing file left untouched and the temporary file removed, when
// the target is read-only or not a regular file, the folder is not writable,
// or any step up to the rename fails, the file's sync included; also false
// when only the folder's sync fails, with the new content already in place
// (WriteFileAtomicallyWithResult tells the two apart). A link is written
// through to its target. Once the write has succeeded, temporary files that
// interrupted writes of the same target left behind are removed (see
// RemoveStaleTemporaries).
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);
// The same with the bytes made piece by piece, so that a large file never
// has to be held whole: produce calls write for each piece in order and
// returns true when all went well. When it returns false (or a write fails)
// the target is left untouched and the temporary file removed.
using ByteSink = std::function<bool(QByteArrayView piece)>;
// beforeRename, when given, is asked right before the temporary file takes
// the target's place; false leaves the target untouched (a writer that must
// not replace what another program wrote meanwhile).
bool WriteFileAtomically(const QString& path,
                         const std::function<bool(const ByteSink& write)>& produce,
                         const std::function<bool()>& beforeRename = {});

// How an atomic write ended. Unconfirmed: the new content took the target's
// place, but the folder could not be synced, so the disk has not confirmed
// the rename and a crash may still bring the old file back.
enum class WriteResult { Written, Unconfirmed, Failed };
// WriteFileAtomically telling an unconfirmed write from a failed one.
WriteResult WriteFileAtomicallyWithResult(const QString& path, const QByteArray& bytes);
WriteResult WriteFileAtomicallyWithResult(const QString& path,
                                          const std::function<bool(const ByteSink& write)>& produce,
                                          const std::function<bool()>& beforeRename = {});

// What a file was when a writer read it: enough to tell that another program
// replaced or changed it since (a save renames a new file into place, a
// rewrite changes its size or modification time).
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The stamp of the file at path (links followed); exists is false when there
// is none.
FileStamp StampOf(const QString& path);

// Removes left-over temporary files of WriteFileAtomically for path (regular
// files named "<file name>.XXXXXX", six letters or digits) from its folder.
// Returns how many were removed. Every write of WriteFileAtomically that
// succeeds does this for its target.
int RemoveStaleTemporaries(const QString& path);

// The system calls the atomic write goes through. Tests replace them to make a
// step fail; everything else uses the defaults.
struct FileSystemCalls {
    std::function<int(const char* path, int flags, unsigned mode)> open;
    std::function<long(int fd, const char* data, unsigned long size)> write;
    std::function<int(int fd)> sync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
};
FileSystemCalls& FileSystem();

}  // namespace tovira
