#include "kvStopSignals.h"

#include <csignal>
#include <iterator>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t received = 0;
struct sigaction previous[std::size(kStopSignals)];

void setDefault()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

void onStopSignal(int signal)
{
    // Only what is safe inside a signal handler: a flag, and sigaction.
    if (received == 0)
        received = signal;
    setDefault();
}

} // namespace

TkvStopSignals::TkvStopSignals()
{
    received = 0;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART; // the workers' file and network calls go on undisturbed
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);
}

TkvStopSignals::~TkvStopSignals()
{
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
}

int TkvStopSignals::Received()
{
    return received;
}

QString TkvStopSignals::Name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}
