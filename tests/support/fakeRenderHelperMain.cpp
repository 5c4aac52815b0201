// A stand-in for web2arc-render that speaks the same protocol without a browser engine, so the
// client's handling of helpers that crash, hang or talk nonsense can be tested quickly. What it does
// with a request depends on the address:
//   fake:ok/<text>     replies at once with one document "<p><text></p>"
//   fake:slow/<ms>     replies after <ms> milliseconds
//   fake:fail          replies with a failure
//   fake:crash         ends at once with exit code 3
//   fake:hang          never replies (keeps reading)
//   fake:garbage       sends a malformed reply
//   fake:pid           replies with its process id as the document
// The first argument, when given, is a file to which it appends a line per start (to count starts).
#include "kvHelperProcess.h"
#include "kvRenderProtocol.h"

#include <QFile>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex outputLock;

void reply(int out, const TkvRenderRequest &request, bool ok, const QByteArray &html)
{
    TkvRenderReply answer;
    answer.id = request.id;
    answer.ok = ok;
    answer.settled = true;
    if (ok)
        answer.documents.push_back({request.address, html});
    else
        answer.message = QStringLiteral("Cannot load \"%1\": it failed on purpose.").arg(request.address);
    std::lock_guard guard(outputLock);
    kvHelperProcess::WriteAll(out, TkvRenderCodec::EncodeReply(answer));
}

void handle(int out, const TkvRenderRequest &request)
{
    const QString address = request.address;
    if (address.startsWith(QLatin1String("fake:ok/"))) {
        reply(out, request, true, "<p>" + address.mid(8).toUtf8() + "</p>");
    } else if (address.startsWith(QLatin1String("fake:slow/"))) {
        const int ms = address.mid(10).toInt();
        std::thread([out, request, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            reply(out, request, true, "<p>slow</p>");
        }).detach();
    } else if (address == QLatin1String("fake:fail")) {
        reply(out, request, false, {});
    } else if (address == QLatin1String("fake:crash")) {
        ::_exit(3);
    } else if (address == QLatin1String("fake:garbage")) {
        std::lock_guard guard(outputLock);
        kvHelperProcess::WriteAll(out, QByteArray("\0\0\0\2A\1", 6));
    } else if (address == QLatin1String("fake:pid")) {
        reply(out, request, true, QByteArray::number(qint64(::getpid())));
    }
    // fake:hang and anything else: no reply
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        QFile starts(QString::fromLocal8Bit(argv[1]));
        if (starts.open(QIODevice::Append))
            starts.write("start\n");
    }
    const int out = kvHelperProcess::TakeOverStandardOutput();
    kvHelperProcess::WriteAll(out, TkvRenderCodec::EncodeHello());
    TkvRenderFrameReader frames;
    std::vector<char> buffer(65536);
    for (;;) {
        const qint64 got = kvHelperProcess::ReadSome(0, buffer.data(), qint64(buffer.size()));
        if (got <= 0)
            return 0;
        frames.Append(buffer.data(), got);
        while (const std::optional<QByteArray> payload = frames.Next()) {
            if (const std::optional<TkvRenderRequest> request = TkvRenderCodec::DecodeRequest(*payload))
                handle(out, *request);
        }
    }
}
