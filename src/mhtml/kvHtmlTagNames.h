#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// Tag names as numbers, for the tree state. The names the tree builder treats specially (and the
/// common svg and MathML names) have fixed numbers (the Tag enumerators); any other name gets a number
/// when an element of that name is opened, and the number is recycled once no open element carries it,
/// so the table holds at most the names of open elements plus a small slack. Names are compared as the
/// tokenizer reports them (ASCII lower case). One instance per tree state; not thread-safe.
class TkvHtmlTagNames
{
public:
    // clang-format off
    enum Tag : uint32_t
    {
        a, address, annotationXml, applet, area, article, aside, b, base, basefont, bgsound, big, blockquote, body,
        br, button, caption, center, code, col, colgroup, dd, desc, details, dialog, dir, div, dl, dt, em, embed,
        fieldset, figcaption, figure, font, footer, foreignobject, form, frame, frameset, h1, h2, h3, h4, h5, h6,
        head, header, hgroup, hr, html, i, iframe, image, img, input, keygen, li, link, listing, main, malignmark,
        marquee, math, menu, meta, mglyph, mi, mn, mo, ms, mtext, nav, nobr, noembed, noframes, noscript, object, ol,
        optgroup, option, p, param, plaintext, pre, rb, rp, rt, rtc, ruby, s, script, search, section, select, small,
        source, span, strike, strong, style, sub, summary, sup, svg, table, tbody, td, template_, textarea, tfoot, th,
        thead, title, tr, track, tt, u, ul, var, wbr, xmp,
        /// Names with no rule of their own, numbered only to spare the table lookups on common pages.
        abbr, audio, canvas, circle, cite, clippath, data, defs, del, ellipse, g, ins, kbd, label, legend, line,
        lineargradient, mark, mfrac, mrow, msqrt, msub, msup, path, picture, polygon, polyline, q,
        radialgradient, rect, samp, stop, symbol, text, time, tspan, use, video,
        KnownCount
    };
    // clang-format on
    static constexpr uint32_t None = 0xFFFFFFFF;

    /// What the tree builder does with an HTML element of a known name (0 for the others).
    enum Property : uint32_t
    {
        Special = 1u << 0,            ///< the "special" category
        Formatting = 1u << 1,         ///< kept on the list of active formatting elements
        ClosesParagraph = 1u << 2,    ///< its start tag closes an open <p> (address ... ul)
        BlockEnd = 1u << 3,           ///< its end tag pops to its element when in scope (address ... ul)
        ImpliedEnd = 1u << 4,         ///< closed by "generate implied end tags"
        ImpliedEndThorough = 1u << 5, ///< ... and by the thorough variant
        ScopeBoundary = 1u << 6,      ///< bounds the default scope (as do MathML text and svg integration points)
        InHead = 1u << 7,             ///< a start tag the body leaves to the "in head" rules
        Breakout = 1u << 8,           ///< a start tag that ends svg/math content (as does font with attributes)
    };

    static uint32_t PropertiesOf(uint32_t tag);
    static bool Has(uint32_t tag, Property property) { return (PropertiesOf(tag) & property) != 0; }
    /// The number of a known name, None for any other.
    static uint32_t Known(std::string_view name);

    /// The number of `name`, known or given to an open element; None when it is neither.
    uint32_t Find(std::string_view name) const;
    /// The number of `name`, numbering it when it has none. The number stays valid while an element
    /// carrying it is open (see Opened), and until the next call of Number otherwise.
    uint32_t Number(std::string_view name);
    /// An element carrying `tag` was opened / closed: a number no open element carries may be recycled.
    void Opened(uint32_t tag);
    void Closed(uint32_t tag);
    /// Every number handed out so far is below this.
    uint32_t Limit() const { return KnownCount + uint32_t(openCount.size()); }

private:
    void recycleUnused();

    struct NameHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view name) const;
    };

    std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> numbered; ///< names beyond the known ones
    std::vector<uint32_t> openCount; ///< open elements per number (index: number - KnownCount)
    std::vector<uint32_t> freeNumbers;
    size_t recycleAt = 1024; ///< table size at which unused numbers are recycled
};
