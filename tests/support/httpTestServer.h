#pragma once

// The Debian build of cpp-httplib is a compiled library built with TLS support, and that option
// changes the layout of httplib::Request: every user must see the same definition.
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <httplib.h>

#include <QString>

#include <memory>
#include <thread>

/// An HTTP server on 127.0.0.1 and a free port, for tests. Set the routes through Server() before
/// Start(); Start() returns once the server accepts connections. The destructor stops the server and
/// joins its thread (an idle keep-alive connection delays that by up to the keep-alive time-out, set to
/// 1 s here). Handlers run on the server's worker threads.
///
/// Link: the test executable needs the cpp-httplib library (pkg-config cpp-httplib).
class TkvHttpTestServer
{
public:
    TkvHttpTestServer();
    /// An HTTPS server with the PEM certificate and key in these files. Throws std::runtime_error when
    /// they cannot be loaded.
    TkvHttpTestServer(const QString &certificateFile, const QString &keyFile);
    ~TkvHttpTestServer();
    TkvHttpTestServer(const TkvHttpTestServer &) = delete;
    TkvHttpTestServer &operator=(const TkvHttpTestServer &) = delete;

    httplib::Server &Server() { return *server; }

    /// Binds to 127.0.0.1 on a port the system picks and starts listening. Throws std::runtime_error
    /// when binding fails or the server is not running within 10 seconds.
    void Start();
    void Stop();

    int Port() const { return port; }
    /// "http://127.0.0.1:<port>" + path (path begins with '/'); "https://..." for an HTTPS server.
    QString Url(const QString &path = QStringLiteral("/")) const;

private:
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    bool tls = false;
};

/// A TCP socket on 127.0.0.1 that listens but never accepts or answers: connections complete (the
/// kernel queues them) and then nothing is ever sent, so a client runs into its time-out.
class TkvSilentListener
{
public:
    TkvSilentListener(); ///< throws std::runtime_error when the socket cannot be set up
    ~TkvSilentListener();
    TkvSilentListener(const TkvSilentListener &) = delete;
    TkvSilentListener &operator=(const TkvSilentListener &) = delete;

    int Port() const { return port; }
    QString Url(const QString &path = QStringLiteral("/")) const;

    /// A loopback port that nothing listens on at the moment of the call (bound, then closed).
    static int UnusedPort();

private:
    int fd = -1;
    int port = 0;
};
