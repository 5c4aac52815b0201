#pragma once

#include "kvCssReferenceCache.h"
#include "kvResourceCache.h"

/// The parts of the archive engine that the conversions of one run share: the cache of fetched
/// resources and the references found in cached style sheets. The run's owner keeps them until every
/// converter of the run has ended. Thread-safe, as each part is.
struct TkvEngineParts
{
    TkvResourceCache ResourceCache;
    TkvCssReferenceCache CssReferences;
};
