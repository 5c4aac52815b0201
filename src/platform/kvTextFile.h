#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The program's own text files (project, recent-projects list, logs) and whole-file byte access.
///
/// Written: UTF-8 without a byte-order mark, CR LF after every line (the last one too).
/// Read: a UTF-8, UTF-16LE or UTF-16BE byte-order mark selects that encoding; otherwise the bytes are
/// UTF-8 when they are valid UTF-8, else Windows-1252 (so files written on Windows read sensibly).
/// Stateless; any thread. Failures raise TkvFileError with the path and the system's cause.
class TkvTextFile
{
public:
    /// Decodes file bytes by the rules above (a byte-order mark is not part of the text).
    static QString Decode(const QByteArray &bytes);
    /// Every line in UTF-8 followed by CR LF.
    static QByteArray Encode(const QStringList &lines);
    /// Splits at CR LF, CR or LF; a text that ends with a line break yields no extra empty line, and
    /// the empty text yields no line.
    static QStringList SplitLines(const QString &text);

    /// Reads a regular file whole. Raises "Cannot open file "<path>". <cause>".
    static QByteArray ReadBytes(const QString &path);
    /// ReadBytes, Decode, SplitLines.
    static QStringList ReadLines(const QString &path);

    /// ReplaceBytes with Encode(lines).
    static void WriteLines(const QString &path, const QStringList &lines);
    /// Replaces the file with `bytes`: they go to a temporary file beside it that is renamed over the
    /// target when complete (TkvAtomicFile), so a failure leaves an existing file as it was. A symbolic
    /// link is followed (its target is replaced). Missing parent folders are created first, unless
    /// `createFolders` is false. A new file gets 0666 less the umask, a replaced one keeps its mode.
    /// Raises "Cannot create file "<path>". <cause>".
    static void ReplaceBytes(const QString &path, const QByteArray &bytes, bool createFolders = true);

    /// Writes bytes into the file in place: created when missing, else opened; with `append` the bytes
    /// go to the end (a pipe or device is simply written to), otherwise the file is first cut to zero
    /// length. Does not create folders.
    /// Raises "Cannot create file ..." (missing file), "Cannot open file ..." (existing file) or
    /// "Cannot write file ..." (the write itself, e.g. a full disk).
    static void WriteBytes(const QString &path, const QByteArray &bytes, bool append);
};
