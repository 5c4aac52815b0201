#pragma once

#include "kvPageRenderer.h"

#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

/// The converter's side of the page renderer: starts the helper program web2arc-render on the first
/// Render, sends it the pages of several worker threads at once over the pipe protocol
/// (kvRenderProtocol.h) and hands each reply to the thread that asked.
///
/// Survival: a helper that crashes, or whose reply does not come within the page's limit plus
/// ReplyMargin, is killed and a new one started on the next page. The page it did not answer fails;
/// the other pages it was rendering are sent again, one at a time: a page sent again that is under way
/// when a second helper ends fails (it is the one that brings the renderer down). After
/// PagesPerHelper pages a helper is let go once its pages are done, and a new one starts, so the
/// browser engine's memory stays bounded over a long run.
///
/// Thread safety: Render from any number of threads at once (each waits only for its own reply); Stop
/// from any thread. The destructor stops and waits for the helper's reading threads; no Render may be
/// under way or start then.
class TkvRenderClient : public TkvPageRenderer
{
public:
    struct TOptions
    {
        QString program; ///< the helper; empty: LocateHelper()
        QStringList arguments;
        int pagesPerHelper = 100;
        std::chrono::milliseconds replyMargin{15000};
        bool helperStandardError = false; ///< true: the helper writes to our standard error (else /dev/null)
    };

    explicit TkvRenderClient(TOptions options);
    TkvRenderClient();
    ~TkvRenderClient() override;
    TkvRenderClient(const TkvRenderClient &) = delete;
    TkvRenderClient &operator=(const TkvRenderClient &) = delete;

    TkvRenderedPage Render(const QString &address, std::chrono::milliseconds limit) override;
    void Stop() override;

    /// web2arc-render beside the running program, else where the installation puts it; empty when
    /// neither exists.
    static QString LocateHelper();
    /// How many helper processes were started so far.
    int HelpersStarted() const;

private:
    struct THelper;
    struct TWaiter;
    class TSuspectSlot;

    std::shared_ptr<THelper> acquire(std::unique_lock<std::mutex> &lock);
    std::shared_ptr<THelper> launch();
    void readReplies(const std::shared_ptr<THelper> &helper);
    void kill(THelper &helper, const QString &why);
    void joinEnded(std::unique_lock<std::mutex> &lock);

    const TOptions options;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<THelper> current;
    std::vector<std::shared_ptr<THelper>> helpers; ///< every helper whose reading thread is not joined yet
    std::unordered_map<std::uint32_t, TWaiter *> waiters;
    std::uint32_t nextId = 1;
    bool stopped = false;
    bool suspectInFlight = false; ///< a page sent again after a helper ended is under way
    int started = 0;
};
