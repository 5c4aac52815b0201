#include "kvHtmlTagNames.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace {

using Tag = TkvHtmlTagNames;

// clang-format off
/// In the order of the Tag enumerators.
constexpr std::string_view KnownNames[] = {
    "a", "address", "annotation-xml", "applet", "area", "article", "aside", "b", "base", "basefont", "bgsound", "big",
    "blockquote", "body", "br", "button", "caption", "center", "code", "col", "colgroup", "dd", "desc", "details",
    "dialog", "dir", "div", "dl", "dt", "em", "embed", "fieldset", "figcaption", "figure", "font", "footer",
    "foreignobject", "form", "frame", "frameset", "h1", "h2", "h3", "h4", "h5", "h6", "head", "header", "hgroup", "hr",
    "html", "i", "iframe", "image", "img", "input", "keygen", "li", "link", "listing", "main", "malignmark", "marquee",
    "math", "menu", "meta", "mglyph", "mi", "mn", "mo", "ms", "mtext", "nav", "nobr", "noembed", "noframes",
    "noscript", "object", "ol", "optgroup", "option", "p", "param", "plaintext", "pre", "rb", "rp", "rt", "rtc",
    "ruby", "s", "script", "search", "section", "select", "small", "source", "span", "strike", "strong", "style",
    "sub", "summary", "sup", "svg", "table", "tbody", "td", "template", "textarea", "tfoot", "th", "thead", "title",
    "tr", "track", "tt", "u", "ul", "var", "wbr", "xmp",
    "abbr", "audio", "canvas", "circle", "cite", "clippath", "data", "defs", "del", "ellipse", "g", "ins", "kbd",
    "label", "legend", "line", "lineargradient", "mark", "mfrac", "mrow", "msqrt", "msub", "msup", "path", "picture",
    "polygon", "polyline", "q", "radialgradient", "rect", "samp", "stop", "symbol", "text", "time", "tspan", "use",
    "video",
};
// clang-format on
static_assert(std::size(KnownNames) == Tag::KnownCount, "one name per Tag enumerator");

using Properties = std::array<uint32_t, Tag::KnownCount>;

void mark(Properties &properties, uint32_t property, std::initializer_list<Tag::Tag> tags)
{
    for (Tag::Tag tag : tags)
        properties[tag] |= property;
}

Properties buildProperties()
{
    Properties p{};
    mark(p, Tag::Special,
         {Tag::address, Tag::applet,     Tag::area,      Tag::article,    Tag::aside,     Tag::base,     Tag::basefont,
          Tag::bgsound, Tag::blockquote, Tag::body,      Tag::br,         Tag::button,    Tag::caption,  Tag::center,
          Tag::col,     Tag::colgroup,   Tag::dd,        Tag::details,    Tag::dir,       Tag::div,      Tag::dl,
          Tag::dt,      Tag::embed,      Tag::fieldset,  Tag::figcaption, Tag::figure,    Tag::footer,   Tag::form,
          Tag::frame,   Tag::frameset,   Tag::h1,        Tag::h2,         Tag::h3,        Tag::h4,       Tag::h5,
          Tag::h6,      Tag::head,       Tag::header,    Tag::hgroup,     Tag::hr,        Tag::html,     Tag::iframe,
          Tag::img,     Tag::input,      Tag::keygen,    Tag::li,         Tag::link,      Tag::listing,  Tag::main,
          Tag::marquee, Tag::menu,       Tag::meta,      Tag::nav,        Tag::noembed,   Tag::noframes, Tag::noscript,
          Tag::object,  Tag::ol,         Tag::p,         Tag::param,      Tag::plaintext, Tag::pre,      Tag::script,
          Tag::search,  Tag::section,    Tag::select,    Tag::source,     Tag::style,     Tag::summary,  Tag::table,
          Tag::tbody,   Tag::td,         Tag::template_, Tag::textarea,   Tag::tfoot,     Tag::th,       Tag::thead,
          Tag::title,   Tag::tr,         Tag::track,     Tag::ul,         Tag::wbr,       Tag::xmp});
    mark(p, Tag::Formatting,
         {Tag::a, Tag::b, Tag::big, Tag::code, Tag::em, Tag::font, Tag::i, Tag::nobr, Tag::s, Tag::small, Tag::strike,
          Tag::strong, Tag::tt, Tag::u});
    const std::initializer_list<Tag::Tag> blocks = {
        Tag::address, Tag::article, Tag::aside,  Tag::blockquote, Tag::center,   Tag::details,
        Tag::dialog,  Tag::dir,     Tag::div,    Tag::dl,         Tag::fieldset, Tag::figcaption,
        Tag::figure,  Tag::footer,  Tag::header, Tag::hgroup,     Tag::main,     Tag::menu,
        Tag::nav,     Tag::ol,      Tag::search, Tag::section,    Tag::summary,  Tag::ul};
    mark(p, Tag::ClosesParagraph, blocks);
    mark(p, Tag::ClosesParagraph, {Tag::p});
    mark(p, Tag::BlockEnd, blocks);
    mark(p, Tag::BlockEnd, {Tag::button, Tag::listing, Tag::pre});
    const std::initializer_list<Tag::Tag> implied = {Tag::dd, Tag::dt, Tag::li, Tag::optgroup, Tag::option,
                                                     Tag::p,  Tag::rb, Tag::rp, Tag::rt,       Tag::rtc};
    mark(p, Tag::ImpliedEnd, implied);
    mark(p, Tag::ImpliedEndThorough, implied);
    mark(p, Tag::ImpliedEndThorough,
         {Tag::caption, Tag::colgroup, Tag::tbody, Tag::td, Tag::tfoot, Tag::th, Tag::thead, Tag::tr});
    mark(p, Tag::ScopeBoundary,
         {Tag::applet, Tag::caption, Tag::html, Tag::table, Tag::td, Tag::th, Tag::marquee, Tag::object,
          Tag::template_});
    mark(p, Tag::InHead,
         {Tag::base, Tag::basefont, Tag::bgsound, Tag::link, Tag::meta, Tag::noframes, Tag::script, Tag::style,
          Tag::template_, Tag::title});
    mark(p, Tag::Breakout,
         {Tag::b,       Tag::big,   Tag::blockquote, Tag::body,   Tag::br,     Tag::center, Tag::code, Tag::dd,
          Tag::div,     Tag::dl,    Tag::dt,         Tag::em,     Tag::embed,  Tag::h1,     Tag::h2,   Tag::h3,
          Tag::h4,      Tag::h5,    Tag::h6,         Tag::head,   Tag::hr,     Tag::i,      Tag::img,  Tag::li,
          Tag::listing, Tag::menu,  Tag::meta,       Tag::nobr,   Tag::ol,     Tag::p,      Tag::pre,  Tag::ruby,
          Tag::s,       Tag::small, Tag::span,       Tag::strong, Tag::strike, Tag::sub,    Tag::sup,  Tag::table,
          Tag::tt,      Tag::u,     Tag::ul,         Tag::var});
    return p;
}

/// Tag names are short: a multiply-add hash costs a fraction of the general byte hash.
struct ShortNameHash
{
    using is_transparent = void;
    size_t operator()(std::string_view name) const
    {
        size_t h = name.size();
        for (char c : name)
            h = h * 31 + static_cast<unsigned char>(c);
        return h;
    }
};

} // namespace

size_t TkvHtmlTagNames::NameHash::operator()(std::string_view name) const
{
    return ShortNameHash{}(name);
}

uint32_t TkvHtmlTagNames::PropertiesOf(uint32_t tag)
{
    static const Properties properties = buildProperties();
    return tag < KnownCount ? properties[tag] : 0;
}

uint32_t TkvHtmlTagNames::Known(std::string_view name)
{
    using Table = std::unordered_map<std::string_view, uint32_t, ShortNameHash>;
    static const Table table = [] {
        Table t;
        for (uint32_t tag = 0; tag < KnownCount; ++tag)
            t.emplace(KnownNames[tag], tag);
        return t;
    }();
    const auto it = table.find(name);
    return it == table.end() ? None : it->second;
}

uint32_t TkvHtmlTagNames::Find(std::string_view name) const
{
    const uint32_t known = Known(name);
    if (known != None || numbered.empty())
        return known;
    const auto it = numbered.find(name);
    return it == numbered.end() ? None : it->second;
}

uint32_t TkvHtmlTagNames::Number(std::string_view name)
{
    const uint32_t known = Known(name);
    if (known != None)
        return known;
    if (const auto it = numbered.find(name); it != numbered.end())
        return it->second;
    if (numbered.size() >= recycleAt)
        recycleUnused();
    uint32_t number;
    if (!freeNumbers.empty()) {
        number = freeNumbers.back();
        freeNumbers.pop_back();
    } else {
        number = KnownCount + uint32_t(openCount.size());
        openCount.push_back(0);
    }
    numbered.emplace(std::string(name), number);
    return number;
}

void TkvHtmlTagNames::Opened(uint32_t tag)
{
    if (tag >= KnownCount)
        ++openCount[tag - KnownCount];
}

void TkvHtmlTagNames::Closed(uint32_t tag)
{
    if (tag >= KnownCount)
        --openCount[tag - KnownCount];
}

void TkvHtmlTagNames::recycleUnused()
{
    for (auto it = numbered.begin(); it != numbered.end();) {
        if (openCount[it->second - KnownCount] == 0) {
            freeNumbers.push_back(it->second);
            it = numbered.erase(it);
        } else {
            ++it;
        }
    }
    // The next sweep waits until the table has doubled, so that sweeping stays linear overall.
    recycleAt = std::max<size_t>(1024, numbered.size() * 2);
}
