#include "httpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

int bindLoopback(int &port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("Cannot create a test socket.");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("Cannot bind a test socket to 127.0.0.1.");
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

TkvHttpTestServer::TkvHttpTestServer() : server(std::make_unique<httplib::Server>())
{
    // Stopping waits for every idle keep-alive connection to time out: keep that short.
    server->set_keep_alive_timeout(1);
}

TkvHttpTestServer::TkvHttpTestServer(const QString &certificateFile, const QString &keyFile) : tls(true)
{
    const QByteArray certificate = certificateFile.toLocal8Bit();
    const QByteArray key = keyFile.toLocal8Bit();
    auto secure = std::make_unique<httplib::SSLServer>(certificate.constData(), key.constData());
    if (!secure->is_valid())
        throw std::runtime_error("Cannot load the test TLS certificate or key.");
    server = std::move(secure);
    server->set_keep_alive_timeout(1);
}

TkvHttpTestServer::~TkvHttpTestServer()
{
    Stop();
}

void TkvHttpTestServer::Start()
{
    port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("Cannot bind the test HTTP server to 127.0.0.1.");
    thread = std::thread([this] { server->listen_after_bind(); });
    // cpp-httplib 0.11 has no wait_until_ready(): poll, bounded.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("The test HTTP server did not start within 10 seconds.");
        }
        std::this_thread::yield();
    }
}

void TkvHttpTestServer::Stop()
{
    if (thread.joinable()) {
        server->stop();
        thread.join();
    }
}

QString TkvHttpTestServer::Url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port)
        .arg(path);
}

TkvSilentListener::TkvSilentListener()
{
    fd = bindLoopback(port);
    if (::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("Cannot listen on a test socket.");
    }
}

TkvSilentListener::~TkvSilentListener()
{
    if (fd >= 0)
        ::close(fd);
}

QString TkvSilentListener::Url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

int TkvSilentListener::UnusedPort()
{
    int port = 0;
    ::close(bindLoopback(port));
    return port;
}
