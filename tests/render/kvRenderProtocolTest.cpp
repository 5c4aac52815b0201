#include "kvRenderProtocol.h"

#include <gtest/gtest.h>

namespace {

/// The payload of a whole frame (its length prefix taken off).
QByteArray payloadOf(const QByteArray &frame)
{
    TkvRenderFrameReader reader;
    reader.Append(frame.constData(), frame.size());
    const std::optional<QByteArray> payload = reader.Next();
    return payload.value_or(QByteArray());
}

TkvRenderReply sampleReply()
{
    TkvRenderReply reply;
    reply.id = 0xfedcba98;
    reply.ok = true;
    reply.settled = false;
    reply.documents.push_back({QStringLiteral("http://h/p\u00e4ge.html"), QByteArray("<p>\xc3\xa4</p>")});
    reply.documents.push_back({QStringLiteral("http://h/frame.html"), QByteArray()});
    return reply;
}

TEST(KvRenderProtocolTest, MessagesSurviveTheRoundTrip)
{
    const std::optional<TkvRenderRequest> request = TkvRenderCodec::DecodeRequest(
        payloadOf(TkvRenderCodec::EncodeRequest({7, 12345, QStringLiteral("file:///in/a%20b/\u00e9.htm")})));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, 7u);
    EXPECT_EQ(request->limitMs, 12345u);
    EXPECT_EQ(request->address, QStringLiteral("file:///in/a%20b/\u00e9.htm"));

    const std::optional<TkvRenderReply> reply =
        TkvRenderCodec::DecodeReply(payloadOf(TkvRenderCodec::EncodeReply(sampleReply())));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, 0xfedcba98u);
    EXPECT_TRUE(reply->ok);
    EXPECT_FALSE(reply->settled);
    ASSERT_EQ(reply->documents.size(), 2u);
    EXPECT_EQ(reply->documents[0].address, QStringLiteral("http://h/p\u00e4ge.html"));
    EXPECT_EQ(reply->documents[0].html, QByteArray("<p>\xc3\xa4</p>"));
    EXPECT_TRUE(reply->documents[1].html.isEmpty());

    TkvRenderReply failure;
    failure.id = 3;
    failure.message = QStringLiteral("Cannot load \"x\": gone.");
    const std::optional<TkvRenderReply> failed =
        TkvRenderCodec::DecodeReply(payloadOf(TkvRenderCodec::EncodeReply(failure)));
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->ok);
    EXPECT_EQ(failed->message, failure.message);
    EXPECT_EQ(TkvRenderCodec::DecodeHello(payloadOf(TkvRenderCodec::EncodeHello())), kvRenderProtocol::ProtocolVersion);
}

TEST(KvRenderProtocolTest, FramesArriveWhateverPiecesTheStreamComesIn)
{
    const QByteArray stream = TkvRenderCodec::EncodeHello() + TkvRenderCodec::EncodeReply(sampleReply()) +
                              TkvRenderCodec::EncodeRequest({1, 2, QStringLiteral("http://h/")});
    for (int piece : {1, 3, 7, 64}) {
        TkvRenderFrameReader reader;
        std::vector<char> kinds;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            reader.Append(stream.constData() + at, std::min<qsizetype>(piece, stream.size() - at));
            while (const std::optional<QByteArray> payload = reader.Next())
                kinds.push_back(TkvRenderCodec::Kind(*payload));
        }
        EXPECT_EQ(kinds, (std::vector<char>{'H', 'A', 'Q'})) << "pieces of " << piece;
        EXPECT_FALSE(reader.Failed());
    }
}

TEST(KvRenderProtocolTest, MalformedInputIsRefusedNotTrusted)
{
    // A length beyond the limit: the reader gives up rather than waiting for (or allocating) it.
    TkvRenderFrameReader reader;
    reader.Append("\x7f\xff\xff\xff" "A", 5);
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Failed());

    const QByteArray reply = payloadOf(TkvRenderCodec::EncodeReply(sampleReply()));
    EXPECT_FALSE(TkvRenderCodec::DecodeReply(reply.left(reply.size() - 1))); // cut short
    EXPECT_FALSE(TkvRenderCodec::DecodeReply(reply + 'x'));                  // bytes left over
    EXPECT_FALSE(TkvRenderCodec::DecodeRequest(reply));                      // another kind
    EXPECT_FALSE(TkvRenderCodec::DecodeReply(QByteArray()));

    // A document count far beyond what the payload can hold.
    QByteArray lying("A");
    lying.append(QByteArray("\0\0\0\1" "\0\0\0\0" "\0\0\0\1" "\0\0\0\0" "\xff\xff\xff\xff", 20));
    EXPECT_FALSE(TkvRenderCodec::DecodeReply(lying));
}

} // namespace
