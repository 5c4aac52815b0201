// web2arc-render: the converter's page renderer. It loads pages in a browser engine, lets their scripts
// run until the page is quiet, and sends back each document as the scripts left it. It speaks the
// protocol of kvRenderProtocol.h on its standard input and output and is started by the converter, not
// by people.
#include "kvHelperProcess.h"
#include "kvRenderHost.h"

#include <QApplication>

#include <cstdio>

// Read by AddressSanitizer when the program is built with it (script/sanitize): the browser engine's own
// library frees some objects with a size other than their type's, a mismatch in code that is not ours.
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

namespace {

/// The script heap of each page's renderer in MiB: --script-heap-mb=N among the arguments, else 1024.
int scriptHeapMb(int argc, char **argv)
{
    const QByteArray option = "--script-heap-mb=";
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        bool ok = false;
        const int value = argument.startsWith(option) ? argument.mid(option.size()).toInt(&ok) : 0;
        if (ok && value >= 16)
            return value;
    }
    return 1024;
}

void prepareEngine(int heapMb)
{
    // No display is needed: pages are drawn off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The engine's sandbox refuses to run as root; the renderer's own rules keep pages in bounds there.
    if (kvHelperProcess::IsSuperuser())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Nothing reaches the network but what pages ask for; a page's script heap is bounded, so a page
    // that allocates without end crashes its own renderer rather than exhausting the machine.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --disable-background-networking --disable-component-update --disable-domain-reliability"
             " --disable-sync --no-pings --js-flags=--max-old-space-size=" +
             QByteArray::number(heapMb);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    qputenv("QT_LOGGING_RULES", "js.debug=false;qt.webenginecontext.debug=false");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace

int main(int argc, char **argv)
{
    const int protocolOutput = kvHelperProcess::TakeOverStandardOutput();
    if (protocolOutput < 0) {
        std::fprintf(stderr, "web2arc-render: cannot set up its output\n");
        return 2;
    }
    kvHelperProcess::IgnoreBrokenPipes();
    kvHelperProcess::EndWithParent();
    prepareEngine(scriptHeapMb(argc, argv));
    QApplication app(argc, argv);
    // Each page has a window of its own; closing the last one ends nothing, the end of the input does.
    QApplication::setQuitOnLastWindowClosed(false);
    TkvRenderHost host(0, protocolOutput);
    return app.exec();
}
