#pragma once

#include <QString>

/// Whole-file text access in fixed-size code units, as the information file uses it. Only the unit
/// size 2 exists: UTF-16 code units in little-endian order, no byte-order mark. Stateless; any thread
/// (callers keep two threads off the same file).
class TkvFileUtils
{
public:
    /// The file's bytes as UTF-16LE units; an odd last byte is dropped; an empty file gives the empty
    /// text. Raises TkvFileError "Cannot open file "<path>". <cause>" when the file cannot be read,
    /// and std::invalid_argument for a unit size other than 2.
    static QString ReadFileText(const QString &path, int unitSize = 2);

    /// Writes the text's units (no byte-order mark) after creating the missing folders of the path
    /// (a failure there is ignored; the write then fails). With `append` the units go to the end of an
    /// existing file; otherwise the file is replaced as a whole (TkvTextFile::ReplaceBytes) and ends up
    /// holding exactly the text (empty text: empty file), or, after a failure, its old text.
    /// Raises TkvFileError "Cannot create file ...", "Cannot open file ..." or "Cannot write file ...",
    /// and std::invalid_argument for a unit size other than 2.
    static void WriteFileText(const QString &path, const QString &text, int unitSize = 2, bool append = false);
};
