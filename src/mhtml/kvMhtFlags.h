#pragma once

/// Flags of CreateMHTMLBody: each suppresses one kind of resource; 0 embeds everything.
enum TkvMhtFlags
{
    mhtSuppressNone = 0,
    mhtSuppressImages = 1,
    mhtSuppressBGSounds = 2,
    mhtSuppressFrames = 4,
    mhtSuppressObjects = 8,
    mhtSuppressStyleSheets = 16,
    mhtSuppressAll = 31,
};
