#include "kvRenderClient.h"

#include "kvChildProcess.h"
#include "kvMhtMessage.h"
#include "kvPath.h"

#include <QFileInfo>

#include <algorithm>

#include <optional>
#include <stdexcept>
#include <thread>

namespace {

const QString kHelperName = QStringLiteral("web2arc-render");

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0, 'g', 3);
}

} // namespace

struct TkvRenderClient::THelper
{
    std::unique_ptr<TkvChildProcess> process;
    std::thread reader;
    std::mutex writeLock;
    // Under the client's mutex:
    int served = 0;   ///< requests sent to it
    int inFlight = 0; ///< requests waiting for its reply
    bool dead = false;
    bool ended = false; ///< its reading thread has returned
    QString deathText;  ///< why it ended, for the pages it leaves without a reply
};

/// Frees the one place for a page sent again when it leaves scope (REQUIRES: the client's mutex held).
class TkvRenderClient::TSuspectSlot
{
public:
    TSuspectSlot(TkvRenderClient &client, bool held) : client(client), held(held) {}
    ~TSuspectSlot()
    {
        if (held) {
            client.suspectInFlight = false;
            client.changed.notify_all();
        }
    }

private:
    TkvRenderClient &client;
    bool held;
};

struct TkvRenderClient::TWaiter
{
    std::shared_ptr<THelper> helper;
    std::optional<TkvRenderReply> reply;
    bool helperEnded = false;
    QString deathText;
};

TkvRenderClient::TkvRenderClient(TOptions options) : options(std::move(options))
{}

TkvRenderClient::TkvRenderClient() : TkvRenderClient(TOptions{})
{}

TkvRenderClient::~TkvRenderClient()
{
    Stop();
    std::vector<std::shared_ptr<THelper>> all;
    {
        std::lock_guard guard(mutex);
        all.swap(helpers);
        current.reset();
    }
    for (const std::shared_ptr<THelper> &helper : all) {
        if (helper->reader.joinable())
            helper->reader.join();
    }
}

QString TkvRenderClient::LocateHelper()
{
    QStringList candidates;
    const QString executable = TkvPath::ExecutablePath();
    if (!executable.isEmpty())
        candidates << TkvPath::FolderPart(executable) + kHelperName;
#ifdef WEB2ARC_INSTALL_BINDIR
    candidates << QStringLiteral(WEB2ARC_INSTALL_BINDIR "/") + kHelperName;
#endif
#ifdef WEB2ARC_INSTALL_LIBEXECDIR
    candidates << QStringLiteral(WEB2ARC_INSTALL_LIBEXECDIR "/web2arc/") + kHelperName;
#endif
    for (const QString &candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable())
            return file.absoluteFilePath();
    }
    return {};
}

int TkvRenderClient::HelpersStarted() const
{
    std::lock_guard guard(mutex);
    return started;
}

TkvRenderedPage TkvRenderClient::Render(const QString &address, std::chrono::milliseconds limit)
{
    const auto limitMs = std::uint32_t(std::clamp<qint64>(limit.count(), 0, 0x7fffffff));
    for (int attempt = 1;; ++attempt) {
        std::unique_lock lock(mutex);
        const bool suspect = attempt > 1;
        if (suspect) {
            // Pages under way when a helper ended are sent again one at a time, so the page that brings
            // the renderer down goes down alone the second time.
            changed.wait(lock, [&] { return stopped || !suspectInFlight; });
            suspectInFlight = true;
        }
        TSuspectSlot slot(*this, suspect);
        if (stopped)
            throw EMhtError(QStringLiteral("Rendering \"%1\" was stopped.").arg(address));
        const std::shared_ptr<THelper> helper = acquire(lock);
        TWaiter waiter;
        waiter.helper = helper;
        const std::uint32_t id = nextId++;
        waiters[id] = &waiter;
        ++helper->served;
        ++helper->inFlight;
        lock.unlock();
        {
            // A helper that is gone refuses the write; its reading thread reports the end.
            std::lock_guard write(helper->writeLock);
            helper->process->Write(TkvRenderCodec::EncodeRequest({id, limitMs, address}));
        }
        lock.lock();
        const auto deadline = std::chrono::steady_clock::now() + limit + options.replyMargin;
        const bool answered = changed.wait_until(
            lock, deadline, [&] { return waiter.reply.has_value() || waiter.helperEnded || stopped; });
        waiters.erase(id);
        --helper->inFlight;
        changed.notify_all(); // a helper waiting to be recycled may now be idle
        if (waiter.reply) {
            if (!waiter.reply->ok)
                throw EMhtError(waiter.reply->message);
            return TkvRenderedPage{waiter.reply->settled, std::move(waiter.reply->documents)};
        }
        if (stopped)
            throw EMhtError(QStringLiteral("Rendering \"%1\" was stopped.").arg(address));
        if (!answered) {
            kill(*helper, QStringLiteral("it did not answer in time"));
            throw EMhtError(QStringLiteral("The page renderer did not answer for \"%1\" within %2 s; it was "
                                           "restarted.")
                                .arg(address, seconds(limit + options.replyMargin)));
        }
        if (attempt >= 2)
            throw EMhtError(
                QStringLiteral("The page renderer ended while rendering \"%1\" (%2).").arg(address, waiter.deathText));
    }
}

void TkvRenderClient::Stop()
{
    std::lock_guard guard(mutex);
    stopped = true;
    for (const std::shared_ptr<THelper> &helper : helpers)
        kill(*helper, QStringLiteral("the run was stopped"));
    changed.notify_all();
}

std::shared_ptr<TkvRenderClient::THelper> TkvRenderClient::acquire(std::unique_lock<std::mutex> &lock)
{
    for (;;) {
        joinEnded(lock);
        if (stopped)
            throw EMhtError(QStringLiteral("The run was stopped."));
        if (current && !current->dead && current->served < options.pagesPerHelper)
            return current;
        if (current && !current->dead && current->inFlight > 0) {
            // Due for recycling: its pages finish first, then it goes.
            changed.wait(lock, [&] { return stopped || current == nullptr || current->dead || current->inFlight == 0; });
            continue;
        }
        if (current && !current->dead) {
            std::lock_guard write(current->writeLock);
            current->process->CloseInput(); // it ends by itself; its reading thread reaps it
        }
        current = launch();
        return current;
    }
}

std::shared_ptr<TkvRenderClient::THelper> TkvRenderClient::launch()
{
    const QString program = options.program.isEmpty() ? LocateHelper() : options.program;
    if (program.isEmpty())
        throw EMhtError(QStringLiteral("Cannot run scripts: the page renderer %1 is not installed beside \"%2\".")
                            .arg(kHelperName, TkvPath::ExecutablePath()));
    auto helper = std::make_shared<THelper>();
    try {
        helper->process = std::make_unique<TkvChildProcess>(program, options.arguments, options.helperStandardError);
    } catch (const std::runtime_error &error) {
        throw EMhtError(QStringLiteral("Cannot run scripts: %1").arg(QString::fromUtf8(error.what())));
    }
    helper->reader = std::thread([this, helper] { readReplies(helper); });
    helpers.push_back(helper);
    ++started;
    return helper;
}

void TkvRenderClient::readReplies(const std::shared_ptr<THelper> &helper)
{
    TkvRenderFrameReader frames;
    QString protocolError;
    bool greeted = false;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const qint64 got = helper->process->Read(buffer.data(), qint64(buffer.size()));
        if (got <= 0)
            break;
        frames.Append(buffer.data(), got);
        while (std::optional<QByteArray> payload = frames.Next()) {
            if (!greeted) {
                const std::optional<std::uint32_t> version = TkvRenderCodec::DecodeHello(*payload);
                if (version != kvRenderProtocol::ProtocolVersion) {
                    protocolError = QStringLiteral("it does not speak this program's protocol");
                    break;
                }
                greeted = true;
                continue;
            }
            std::optional<TkvRenderReply> reply = TkvRenderCodec::DecodeReply(*payload);
            if (!reply) {
                protocolError = QStringLiteral("it sent a malformed reply");
                break;
            }
            std::lock_guard guard(mutex);
            const auto waiter = waiters.find(reply->id);
            if (waiter != waiters.end() && waiter->second->helper == helper) {
                waiter->second->reply = std::move(*reply);
                changed.notify_all();
            }
        }
        if (frames.Failed())
            protocolError = QStringLiteral("it sent a frame longer than the protocol allows");
        if (!protocolError.isEmpty())
            break;
    }
    if (!protocolError.isEmpty())
        helper->process->Kill();
    std::optional<int> status = helper->process->Wait(std::chrono::seconds(3));
    if (!status) {
        helper->process->Kill();
        status = helper->process->Wait(std::chrono::milliseconds(-1));
    }
    std::lock_guard guard(mutex);
    if (!helper->dead) {
        helper->dead = true;
        helper->deathText = !protocolError.isEmpty()
                                ? protocolError
                                : QStringLiteral("it ended with %1").arg(TkvChildProcess::DescribeStatus(status.value_or(-1)));
    }
    for (auto &[id, waiter] : waiters) {
        if (waiter->helper == helper && !waiter->reply) {
            waiter->helperEnded = true;
            waiter->deathText = helper->deathText;
        }
    }
    if (current == helper)
        current.reset();
    helper->ended = true;
    changed.notify_all();
}

void TkvRenderClient::kill(THelper &helper, const QString &why)
{
    if (!helper.dead) {
        helper.dead = true;
        helper.deathText = why;
    }
    helper.process->Kill();
    if (current.get() == &helper)
        current.reset();
}

void TkvRenderClient::joinEnded(std::unique_lock<std::mutex> &lock)
{
    for (auto it = helpers.begin(); it != helpers.end();) {
        if (!(*it)->ended) {
            ++it;
            continue;
        }
        std::shared_ptr<THelper> helper = *it;
        it = helpers.erase(it);
        // Its thread has set `ended` as its last step under the lock: the join is immediate.
        lock.unlock();
        if (helper->reader.joinable())
            helper->reader.join();
        lock.lock();
        it = helpers.begin();
    }
}
