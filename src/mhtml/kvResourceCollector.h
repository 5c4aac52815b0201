#pragma once

#include <QSet>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

struct TkvHtmlToken;

/// What a reference is, which decides the CreateMHTMLBody flag that suppresses it.
enum class TkvResourceKind
{
    Image,      ///< img, srcset, picture sources, input type=image, icons, background=, poster, svg images
    Sound,      ///< bgsound, audio and its sources and tracks
    Frame,      ///< iframe, frame: a page of its own
    Object,     ///< embed, object, video and its sources and tracks
    StyleSheet, ///< link rel=stylesheet, @import
    Script,     ///< script src (never suppressed)
    CssUrl,     ///< url() and image-set() in any CSS (fonts, images ...), suppressed with style sheets
};

/// One resource a page or style sheet uses, resolved against the document's base URL.
struct TkvFoundResource
{
    QString url; ///< canonical absolute URL (no fragment), as TkvUrl serializes it
    TkvResourceKind kind;
    /// The same address with the reference's fragment ("icons.svg#home"); empty when it has none.
    /// Readers look a part up by the whole address, so such a reference needs a part under it too.
    QString fragmentUrl;
};

/// A change to the stored page: replace the bytes [begin, end) with `text`.
struct TkvPageEdit
{
    size_t begin;
    size_t end;
    std::string text;
};

/// Finds the resources of one HTML document or style sheet from its tokens, in document order, each
/// URL once, and once more for each further fragment it is used with (with that fragment).
/// data:, javascript:, about:, mailto:, cid: and fragment-only references are ignored.
/// The first <base href> sets the base URL for every reference after it.
///
/// For the stored page it also lists the two rewrites the archive needs: the value of <base href>
/// becomes its resolved absolute address, and in a local page an absolute file: reference becomes
/// its archive address (http://file.invalid/..., its fragment kept), since readers refuse file: URLs. Addresses are
/// mapped with TkvUrl::ToArchiveLocation only when the document itself is local.
///
/// Thread rules: one object per document; the static functions are reentrant.
class TkvResourceCollector
{
public:
    /// `documentUrl`: canonical URL of the document; `charset`: its character set (canonical name).
    TkvResourceCollector(const QString &documentUrl, const QString &charset);

    /// Scans an HTML document (ASCII-compatible bytes). Fills Resources, Edits and Title.
    void ScanHtml(std::string_view html);
    /// Scans a style sheet or a style attribute's declarations found at `baseUrl`: @import targets
    /// are StyleSheet, every url() and image-set() string CssUrl.
    void ScanCss(std::string_view css, const QString &baseUrl);

    const std::vector<TkvFoundResource> &Resources() const { return found; }
    /// Rewrites for the stored page, in ascending, non-overlapping order.
    const std::vector<TkvPageEdit> &Edits() const { return edits; }
    /// The text of the first <title>, character references decoded, white space collapsed.
    QString Title() const { return title; }
    /// The base URL references were resolved against (the document's URL without <base href>).
    QString BaseUrl() const { return base; }

    /// `bytes` with `edits` applied. REQUIRES: edits ascending and within bytes.
    static std::string ApplyEdits(std::string_view bytes, const std::vector<TkvPageEdit> &edits);

private:
    /// Where ScanHtml is in the document.
    struct TScan
    {
        enum class Raw
        {
            None,
            Style,
            Title
        } raw = Raw::None;
        bool titleDone = false;
        std::string titleText;
        /// The open picture, audio and video elements: the innermost decides the kind of a <source>
        /// or <track>.
        std::vector<std::string> media;
        TkvResourceKind MediaKind() const;
    };

    void startTag(const TkvHtmlToken &token, bool inForeignContent, TScan &scan);
    void endTag(const TkvHtmlToken &token, TScan &scan);
    /// The first <base href> sets the base address (and is rewritten to its resolved form).
    void setBase(const TkvHtmlToken &token);
    QString decode(std::string_view value) const;
    void add(const QString &reference, const QString &baseUrl, TkvResourceKind kind);
    void scanCss(std::string_view css, const QString &baseUrl, size_t offset);
    void addSrcset(const std::string &value, TkvResourceKind kind);
    void rewriteFileReference(const QString &reference, size_t begin, size_t end);

    QString documentUrl;
    QString charset;
    bool local;
    QString base;
    bool baseSeen = false;
    QString title;
    std::vector<TkvFoundResource> found;
    std::vector<TkvPageEdit> edits;
    QSet<QString> seen;
};
