#pragma once

// The rules a browser applies when it opens a web archive, checked on the raw bytes (no MIME library):
// every line ends with CR LF and no bare CR or LF occurs, the top level is multipart/related with a
// boundary, every part has a Content-Location that is absolute, canonical and not a file: URL, the
// first part is the page (text/html), base64 and quoted-printable bodies are valid with lines of at
// most 76 characters, no location occurs twice, a location with a fragment follows the part stored
// under the same address without it, and the closing delimiter is present.

#include <QByteArray>

#include <string>
#include <vector>

/// Every problem found, one sentence each; empty when the archive passes.
std::vector<std::string> CheckMhtForReaders(const QByteArray &archive);

/// True when `location` is absolute and in the form a browser serializes it: lower-case scheme and
/// host, no default port, no dot segments, nothing that must be percent-encoded (also in a fragment).
bool IsCanonicalLocation(const std::string &location);
