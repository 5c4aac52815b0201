#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// What the system reports about a file: its kind, size and modification time.
struct TkvFileStatus
{
    enum class Kind
    {
        Regular,
        Folder,
        Other ///< FIFO, device, socket
    };
    Kind kind = Kind::Other;
    qint64 size = 0;
    qint64 mtimeNs = 0; ///< nanoseconds since the epoch
    unsigned permissions = 0;
};

/// An open file of the system, closed when the object goes. Every call that can fail returns false
/// (or -1, or nullopt) and leaves the system's error number in LastError(), which ErrorText() turns
/// into the system's sentence; callers build their own messages around it.
///
/// Paths are file names as TkvFileName holds them. Thread rules: one object per thread.
class TkvNativeFile
{
public:
    TkvNativeFile() = default;
    ~TkvNativeFile();
    TkvNativeFile(TkvNativeFile &&other) noexcept;
    TkvNativeFile &operator=(TkvNativeFile &&other) noexcept;
    TkvNativeFile(const TkvNativeFile &) = delete;
    TkvNativeFile &operator=(const TkvNativeFile &) = delete;

    /// Opens `path` for reading without ever blocking on it (a FIFO opens at once) and without
    /// making a terminal the controlling one.
    bool OpenForReading(const QString &path);
    /// Creates a new file named `prefix` + six random characters + `suffix`, readable and writable
    /// by the owner only; `createdName` receives the name made.
    bool CreateUnique(const QString &prefix, const QString &suffix, QString &createdName);

    bool IsOpen() const { return fd >= 0; }
    int LastError() const { return lastError; }

    /// The status of the open file (not of whatever its name points to by now).
    std::optional<TkvFileStatus> Status();
    /// Reads up to `size` bytes; 0 at end of file, -1 on error. Interrupted reads are repeated.
    qint64 Read(char *data, qint64 size);
    /// Writes all `size` bytes, or fails.
    bool WriteAll(const char *data, qint64 size);
    /// Sets the permission bits (as in 0644).
    bool SetPermissions(unsigned permissions);
    /// Closes the file. False when the close reports a delayed write error (NFS, quota).
    bool Close();

    /// The status of the file at `path`, links followed; nullopt (with `error` set) when there is none.
    static std::optional<TkvFileStatus> StatusOf(const QString &path, int *error = nullptr);
    /// The system's sentence for an error number, e.g. "No such file or directory".
    static QString ErrorText(int error);

private:
    bool failed();

    int fd = -1;
    int lastError = 0;
};
