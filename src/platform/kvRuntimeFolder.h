#pragma once

#include <QString>

/// The per-user folder for sockets and other runtime files that a desktop session names in
/// XDG_RUNTIME_DIR. A process started outside a login session (a build machine, a container, cron,
/// su) has none; Qt's GUI looks for it when its platform starts, falls back to <temp>/runtime-<user>
/// and prints a warning the user never asked for. Providing that folder before Qt looks is the cure.
///
/// Main thread only, before other threads start (it may change the environment).
class TkvRuntimeFolder
{
public:
    /// When XDG_RUNTIME_DIR is set and not empty, returns it and changes nothing. Otherwise makes
    /// <temp>/runtime-<user> (temp: $TMPDIR, else /tmp) a folder private to this user, mode 0700,
    /// creating it when missing, and sets XDG_RUNTIME_DIR to it for this process and the programs it
    /// starts; returns the folder. Returns an empty string and leaves the variable unset when that
    /// path is taken by something else: a file, a link, a folder of another user or one open to
    /// others (Qt's own warning then says what is wrong).
    static QString Provide();
};
