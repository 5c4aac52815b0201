#pragma once

#include "kvConvertor.h"

#include <QString>

/// The product's converter: turns one queued HTML page into a single-file MHT web archive with the
/// archive engine (TkvMhtMessage). Every converter of a chain is one of these when the descriptor's
/// ConverterClass is TkvWEB2ARC::Class(). When the run has a page renderer (RunScripts), each page is
/// read through it (TkvScriptedPage), so the archive holds the page as its scripts left it.
///
/// Thread safety: as TkvConvertor; each conversion builds its own message, nothing is shared between
/// threads but the run's engine parts (its caches) and its renderer.
class TkvWEB2ARC : public TkvConvertor
{
public:
    explicit TkvWEB2ARC(TkvBatch *batch);

    /// The class to set as the descriptor's ConverterClass.
    static const TkvConvertorClass &Class();

    /// The address of a source: a web address ("http:" or "https:", any case) unchanged; a local path
    /// "file://" + its absolute path, percent-encoded (/a b/p.htm gives file:///a%20b/p.htm); a name
    /// byte that is not UTF-8 (held as TkvFileName::Decode holds it) is encoded as itself (%E9).
    static QString SourceUrl(const QString &path);
    /// The run's Charset option as written; empty when absent.
    QString GetCharset() const;

protected:
    /// Target path (skipped or failed entries are left as they are), then the archive: MimeFormatted,
    /// the body part's Charset when the option is set, CreateMHTMLBody(address, 0, "", ""), and
    /// GetStream().SaveToFile(target, 2); then PostProcess. Success: Status 1, Message the target path,
    /// AddSuccess. Any error: Status 2, Message the error's text unchanged, AddFailure with it.
    void Convert(TkvBatch &batch, TkvNode &node) override;
};
