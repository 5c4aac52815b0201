#pragma once

#include <functional>

/// Window mode of the program, from the application object to the end of the message loop.
///
/// REQUIRES: the process-wide objects exist (Project with its descriptor and start project, Info may
/// be null), and no QApplication exists yet. Main thread only.
///
/// Steps: when the project is a pure console one (which reaches window mode only with a web address
/// as its source), Qt's "offscreen" platform is chosen, so the run needs no display and the window is
/// never shown. The application object is created and its display name set to the product title; the
/// desktop opener is installed for web links and folders (not on the offscreen platform, which opens
/// nothing: there kvOpener's own way applies, xdg-open in a desktop session); the main window is created (it binds its
/// controls and loads the start project), then the about box, whose first ShowAbout shows nothing and
/// makes the main window transparent in the pure console case; the main window is shown (or, when it
/// stays hidden, its first-show step runs from the event loop, so an unattended run starts as if it
/// had been shown); the message loop runs until the main window closes.
///
/// `releaseGlobals`, when given, runs after the message loop and before the windows are destroyed,
/// so the process-wide objects can be released while the controls they refer to still exist.
/// Returns the process exit code: 0.
int RunWindowMode(int &argc, char **argv, const std::function<void()> &releaseGlobals = {});
