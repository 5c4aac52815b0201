#include "mhtReaderCheck.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string trim(std::string_view s)
{
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos)
        return {};
    const auto b = s.find_last_not_of(" \t");
    return std::string(s.substr(a, b - a + 1));
}

struct THeaders
{
    std::vector<std::pair<std::string, std::string>> list; // lower-case name, unfolded value
    std::string get(const std::string &name) const
    {
        for (const auto &[n, v] : list)
            if (n == name)
                return v;
        return {};
    }
};

// Reads header lines from `lines` starting at `i` up to the blank line; `i` ends after the blank line.
THeaders readHeaders(const std::vector<std::string_view> &lines, size_t &i)
{
    THeaders h;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string_view line = lines[i];
        if ((line[0] == ' ' || line[0] == '\t') && !h.list.empty()) {
            h.list.back().second += " " + trim(line);
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        h.list.emplace_back(lower(trim(line.substr(0, colon))), trim(line.substr(colon + 1)));
    }
    if (i < lines.size())
        ++i;
    return h;
}

std::string parameter(const std::string &value, const std::string &name)
{
    const std::string l = lower(value);
    size_t at = 0;
    while ((at = l.find(name + "=", at)) != std::string::npos) {
        if (at > 0 && l[at - 1] != ';' && l[at - 1] != ' ' && l[at - 1] != '\t') {
            ++at;
            continue;
        }
        size_t from = at + name.size() + 1;
        if (from < value.size() && value[from] == '"') {
            const auto end = value.find('"', from + 1);
            return value.substr(from + 1, end == std::string::npos ? std::string::npos : end - from - 1);
        }
        const auto end = value.find_first_of("; \t", from);
        return value.substr(from, end == std::string::npos ? std::string::npos : end - from);
    }
    return {};
}

bool isBase64Char(unsigned char c)
{
    return std::isalnum(c) || c == '+' || c == '/';
}

void checkBase64(const std::vector<std::string_view> &body, const std::string &where, std::vector<std::string> &out)
{
    size_t count = 0;
    bool padded = false;
    for (std::string_view line : body) {
        if (line.size() > 76)
            out.push_back(where + ": a base64 line is longer than 76 characters.");
        for (unsigned char c : line) {
            if (c == '=') {
                padded = true;
                ++count;
            } else if (isBase64Char(c)) {
                if (padded) {
                    out.push_back(where + ": base64 data continues after padding.");
                    return;
                }
                ++count;
            } else {
                out.push_back(where + ": a base64 line holds a character outside the alphabet.");
                return;
            }
        }
    }
    if (count % 4)
        out.push_back(where + ": the base64 data is not a whole number of quanta.");
}

void checkQuotedPrintable(const std::vector<std::string_view> &body, const std::string &where,
                          std::vector<std::string> &out)
{
    for (std::string_view line : body) {
        if (line.size() > 76) {
            out.push_back(where + ": a quoted-printable line is longer than 76 characters.");
            return;
        }
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            out.push_back(where + ": a quoted-printable line ends with white space.");
            return;
        }
        for (size_t k = 0; k < line.size(); ++k) {
            const unsigned char c = line[k];
            if (c == '=') {
                if (k + 1 == line.size())
                    break; // soft line break
                if (k + 2 >= line.size()) {
                    out.push_back(where + ": a quoted-printable escape is cut off.");
                    return;
                }
                if (!std::isxdigit(static_cast<unsigned char>(line[k + 1])) ||
                    !std::isxdigit(static_cast<unsigned char>(line[k + 2]))) {
                    out.push_back(where + ": a quoted-printable escape is not hexadecimal.");
                    return;
                }
                k += 2;
            } else if ((c < 33 && c != ' ' && c != '\t') || c > 126) {
                out.push_back(where + ": a quoted-printable line holds an unencoded control or 8-bit byte.");
                return;
            }
        }
    }
}

} // namespace

bool IsCanonicalLocation(const std::string &whole)
{
    // A fragment is kept as written, but for the characters a browser percent-encodes in it.
    const auto hash = whole.find('#');
    const std::string location = whole.substr(0, hash);
    if (hash != std::string::npos) {
        for (unsigned char c : whole.substr(hash + 1)) {
            if (c <= 0x20 || c > 0x7E || c == '"' || c == '<' || c == '>' || c == '`')
                return false;
        }
    }
    const auto colon = location.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    const std::string scheme = location.substr(0, colon);
    if (scheme != lower(scheme) || scheme == "file")
        return false;
    for (unsigned char c : location) {
        if (c <= 0x20 || c > 0x7E || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}' || c == '#' ||
            c == '\\')
            return false;
    }
    const auto hostStart = colon + 3;
    const auto pathStart = location.find_first_of("/?", hostStart);
    const std::string authority =
        location.substr(hostStart, pathStart == std::string::npos ? std::string::npos : pathStart - hostStart);
    if (authority.empty() || authority != lower(authority))
        return false;
    if ((scheme == "http" && authority.ends_with(":80")) || (scheme == "https" && authority.ends_with(":443")))
        return false;
    if (pathStart == std::string::npos || location[pathStart] != '/')
        return false; // a special URL always has a path, at least "/"
    const auto queryStart = location.find('?', pathStart);
    const std::string path =
        location.substr(pathStart, queryStart == std::string::npos ? std::string::npos : queryStart - pathStart);
    size_t at = 0;
    while (at < path.size()) {
        const auto next = path.find('/', at + 1);
        const std::string segment =
            lower(path.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        if (segment == "." || segment == ".." || segment == "%2e" || segment == ".%2e" || segment == "%2e." ||
            segment == "%2e%2e")
            return false;
        if (next == std::string::npos)
            break;
        at = next;
    }
    return true;
}

std::vector<std::string> CheckMhtForReaders(const QByteArray &archive)
{
    std::vector<std::string> out;
    const std::string_view all(archive.constData(), size_t(archive.size()));
    std::vector<std::string_view> lines;
    size_t from = 0;
    bool lineEndsReported = false;
    while (from < all.size()) {
        const auto lf = all.find('\n', from);
        if (lf == std::string_view::npos) {
            out.push_back("The archive does not end with CR LF.");
            lines.push_back(all.substr(from));
            break;
        }
        if (lf == from || all[lf - 1] != '\r') {
            if (!lineEndsReported)
                out.push_back("A line ends with a bare LF.");
            lineEndsReported = true;
            lines.push_back(all.substr(from, lf - from));
        } else {
            lines.push_back(all.substr(from, lf - 1 - from));
        }
        if (lines.back().find('\r') != std::string_view::npos && !lineEndsReported) {
            out.push_back("A bare CR occurs inside a line.");
            lineEndsReported = true;
        }
        from = lf + 1;
    }

    size_t i = 0;
    const THeaders top = readHeaders(lines, i);
    const std::string type = top.get("content-type");
    if (lower(type).rfind("multipart/related", 0) != 0)
        out.push_back("The top-level Content-Type is not multipart/related.");
    const std::string boundary = parameter(type, "boundary");
    if (boundary.empty()) {
        out.push_back("The top-level Content-Type has no boundary.");
        return out;
    }
    if (top.get("mime-version") != "1.0")
        out.push_back("MIME-Version 1.0 is missing.");
    const std::string delimiter = "--" + boundary;
    const std::string closing = delimiter + "--";

    while (i < lines.size() && lines[i] != delimiter)
        ++i;
    if (i == lines.size()) {
        out.push_back("No part delimiter was found.");
        return out;
    }
    bool closed = false;
    std::set<std::string> locations;
    int index = 0;
    while (i < lines.size() && lines[i] == delimiter) {
        ++i;
        const std::string where = "Part " + std::to_string(index);
        const THeaders h = readHeaders(lines, i);
        std::vector<std::string_view> body;
        while (i < lines.size() && lines[i] != delimiter && lines[i] != closing)
            body.push_back(lines[i++]);
        const std::string partType = lower(h.get("content-type"));
        const std::string location = h.get("content-location");
        if (index == 0 && partType.rfind("text/html", 0) != 0)
            out.push_back("The first part is not the text/html page.");
        if (location.empty())
            out.push_back(where + " has no Content-Location.");
        else if (!IsCanonicalLocation(location))
            out.push_back(where + ": Content-Location " + location + " is not an absolute canonical URL.");
        else if (!locations.insert(location).second)
            out.push_back(where + ": Content-Location " + location + " occurs twice.");
        else if (location.find('#') != std::string::npos && !locations.count(location.substr(0, location.find('#'))))
            out.push_back(where + ": Content-Location " + location + " has a fragment, but no part before it has " +
                          "the address without it.");
        const std::string encoding = lower(h.get("content-transfer-encoding"));
        if (encoding == "base64")
            checkBase64(body, where, out);
        else if (encoding == "quoted-printable")
            checkQuotedPrintable(body, where, out);
        else
            out.push_back(where + ": unexpected Content-Transfer-Encoding \"" + encoding + "\".");
        ++index;
        if (i < lines.size() && lines[i] == closing) {
            closed = true;
            break;
        }
    }
    if (!closed)
        out.push_back("The closing delimiter is missing.");
    return out;
}
