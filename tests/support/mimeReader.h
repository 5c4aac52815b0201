#pragma once

// An archive reader for tests that shares no code with the writer: GMime parses the message and
// decodes every part, so a test compares what a real MIME reader gets with the bytes of the sources.

#include <QByteArray>
#include <QString>

#include <string>
#include <utility>
#include <vector>

struct TMimeReadPart
{
    std::vector<std::pair<std::string, std::string>> headers; ///< name as written, raw value unfolded
    std::string contentType;                                  ///< "type/subtype", lower case
    std::string charset;                                      ///< the charset parameter, or empty
    std::string encoding;                                     ///< Content-Transfer-Encoding as written, lower case
    std::string location;                                     ///< Content-Location, or empty
    QByteArray data;                                          ///< the decoded body

    /// The raw value of the first header called `name` (any case), or empty.
    std::string Header(const std::string &name) const;
};

struct TMimeReadMessage
{
    bool ok = false;
    std::string error; ///< why the message could not be read when !ok
    std::vector<std::pair<std::string, std::string>> headers;
    std::string subject;     ///< decoded (RFC 2047) subject
    std::string contentType; ///< of the top level, lower case
    std::string boundary;
    std::vector<TMimeReadPart> parts; ///< the parts of a multipart message, in order

    std::string Header(const std::string &name) const;
    /// The part whose Content-Location is `location`, or nullptr.
    const TMimeReadPart *Find(const std::string &location) const;
};

/// Parses a whole message. Never throws: a message GMime cannot read gives ok == false.
TMimeReadMessage ReadMimeMessage(const QByteArray &bytes);
/// Reads and parses a file; a file that cannot be read gives ok == false.
TMimeReadMessage ReadMimeFile(const QString &path);
