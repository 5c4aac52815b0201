// GMime's headers must come before any Qt header: Qt's "signals" macro breaks glib's.
#include <gmime/gmime.h>

#include "mimeReader.h"

#include <QFile>

#include <algorithm>
#include <mutex>

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string take(char *s)
{
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

std::vector<std::pair<std::string, std::string>> headersOf(GMimeObject *object)
{
    std::vector<std::pair<std::string, std::string>> out;
    GMimeHeaderList *list = g_mime_object_get_header_list(object);
    const int count = g_mime_header_list_get_count(list);
    for (int i = 0; i < count; ++i) {
        GMimeHeader *header = g_mime_header_list_get_header_at(list, i);
        std::string raw = g_mime_header_get_raw_value(header) ? g_mime_header_get_raw_value(header) : "";
        // Unfold: drop CR LF before white space, and the leading/trailing white space.
        std::string value;
        for (size_t k = 0; k < raw.size(); ++k) {
            if (raw[k] == '\r' || raw[k] == '\n')
                continue;
            value += raw[k];
        }
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t");
        value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        out.emplace_back(g_mime_header_get_name(header), value);
    }
    return out;
}

std::string headerIn(const std::vector<std::pair<std::string, std::string>> &headers, const std::string &name)
{
    const std::string wanted = lower(name);
    for (const auto &[n, v] : headers)
        if (lower(n) == wanted)
            return v;
    return {};
}

TMimeReadPart readPart(GMimeObject *object)
{
    TMimeReadPart part;
    part.headers = headersOf(object);
    GMimeContentType *type = g_mime_object_get_content_type(object);
    part.contentType = lower(take(g_mime_content_type_get_mime_type(type)));
    const char *charset = g_mime_object_get_content_type_parameter(object, "charset");
    part.charset = charset ? charset : "";
    part.encoding = lower(headerIn(part.headers, "Content-Transfer-Encoding"));
    part.location = headerIn(part.headers, "Content-Location");
    if (GMIME_IS_PART(object)) {
        GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(object));
        if (content) {
            GMimeStream *out = g_mime_stream_mem_new();
            g_mime_data_wrapper_write_to_stream(content, out);
            GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
            part.data = QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
            g_object_unref(out);
        }
    }
    return part;
}

} // namespace

std::string TMimeReadPart::Header(const std::string &name) const
{
    return headerIn(headers, name);
}

std::string TMimeReadMessage::Header(const std::string &name) const
{
    return headerIn(headers, name);
}

const TMimeReadPart *TMimeReadMessage::Find(const std::string &location) const
{
    for (const TMimeReadPart &part : parts)
        if (part.location == location)
            return &part;
    return nullptr;
}

TMimeReadMessage ReadMimeMessage(const QByteArray &bytes)
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });

    TMimeReadMessage result;
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
    if (!message) {
        result.error = "GMime could not parse the message";
    } else {
        GMimeObject *top = GMIME_OBJECT(message);
        result.headers = headersOf(top);
        const char *subject = g_mime_message_get_subject(message);
        result.subject = subject ? subject : "";
        GMimeObject *body = g_mime_message_get_mime_part(message);
        if (!body) {
            result.error = "the message has no body";
        } else {
            result.contentType = lower(take(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(body))));
            if (GMIME_IS_MULTIPART(body)) {
                GMimeMultipart *multipart = GMIME_MULTIPART(body);
                const char *boundary = g_mime_multipart_get_boundary(multipart);
                result.boundary = boundary ? boundary : "";
                const int count = g_mime_multipart_get_count(multipart);
                for (int i = 0; i < count; ++i)
                    result.parts.push_back(readPart(g_mime_multipart_get_part(multipart, i)));
            } else {
                result.parts.push_back(readPart(body));
            }
            result.ok = true;
        }
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return result;
}

TMimeReadMessage ReadMimeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TMimeReadMessage result;
        result.error = "cannot open " + path.toStdString() + ": " + file.errorString().toStdString();
        return result;
    }
    return ReadMimeMessage(file.readAll());
}
