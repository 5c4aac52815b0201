#pragma once

#include <QString>

/// Where the per-user files live. The *home path* is a folder plus the base name "web2arc"; the
/// default project, the recent-projects list and the information file append their extensions to it:
///   $WEB2ARC_HOME/web2arc                       when WEB2ARC_HOME is set and not empty,
///   $XDG_CONFIG_HOME/web2arc/web2arc            when XDG_CONFIG_HOME is an absolute path,
///   ~/.config/web2arc/web2arc                   otherwise.
/// Nothing is created here; writers create the folder. Reads the environment on every call; any thread.
class TkvHomePath
{
public:
    /// The home path, for example /home/u/.config/web2arc/web2arc.
    static QString Path();
    /// The folder part of Path(), with a trailing '/'.
    static QString Folder();
};
