#pragma once

#include "kvNativeFile.h"

#include <QByteArray>
#include <QString>

#include <vector>

/// A file written in full or not at all: the bytes go to a temporary file in the target's own folder
/// (so the final rename never crosses a file system), which replaces the target by one rename only
/// when every byte was written and the file closed without error. A failure, or destroying the object
/// before Commit, removes the temporary file and leaves an existing target unchanged.
///
/// There is no fsync before the rename: the archive is rebuilt from its source by running the
/// conversion again, and a flush per file would make a batch of thousands of pages disk-bound.
/// Readers see either the old or the new file, never a partial one. A temporary file that a killed
/// process left behind is removed by a later RemoveLeftovers on its folder.
///
/// Paths are file names as TkvFileName holds them (a byte that is not UTF-8 is a lone surrogate), so
/// any name the file system can hold can be written.
///
/// Errors are TkvFileError sentences naming the target and the system's reason ("Cannot write
/// "/out/a.mht": No space left on device."), with the system's error number.
/// Thread rules: one object per thread; different targets may be written in parallel.
class TkvAtomicFile
{
public:
    /// Creates the temporary file beside `target`. Throws when the folder does not exist or cannot be
    /// written, or when `target` is a folder; with `replace` false, also when `target` exists.
    /// `newPermissions` are those of a new target; a replaced one keeps its own.
    TkvAtomicFile(const QString &target, bool replace, unsigned newPermissions = 0644);
    ~TkvAtomicFile();
    TkvAtomicFile(const TkvAtomicFile &) = delete;
    TkvAtomicFile &operator=(const TkvAtomicFile &) = delete;

    /// Appends bytes. Throws on a write error (disk full, file size limit).
    void Write(const QByteArray &bytes);
    /// Closes the temporary file and renames it over the target. Throws on failure (temporary removed).
    void Commit();

    /// Writes `chunks` (concatenated) to `target` in one go.
    static void WriteAll(const QString &target, const std::vector<QByteArray> &chunks, bool replace,
                         unsigned newPermissions = 0644);

    /// Removes from `folder` (not below it) the temporary files of objects whose process has ended
    /// without removing them (it was killed). A temporary file's name carries the id of the process
    /// that made it: ".<target name>.<process id>-<6 characters>.tmp"; a file is left alone while a
    /// process of that id runs this same program, and anything named otherwise is never touched.
    /// Returns the number of files removed; a folder that cannot be listed gives 0.
    static int RemoveLeftovers(const QString &folder);

private:
    [[noreturn]] void fail(int error);
    void discard();

    QString target;
    bool replace;
    unsigned newPermissions;
    TkvNativeFile file;    ///< the temporary file while open
    QString temporaryName; ///< its name; empty once renamed or removed
};
