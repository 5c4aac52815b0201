#pragma once

#include "kvInfo.h"
#include "kvProductValues.h"

class TkvConvertorClass;
class TkvProject;

/// The product descriptor: the values that tell the generic engine what this product converts. Its
/// title, short name and version are the product's own values (TkvProductValues).
class TkvProduct
{
public:
    static constexpr const char *FileMask = "*.htm?";
    static constexpr const char *OpenFilter = "HTML File (*.htm;*.html)|*.htm;*.html";
    static constexpr const char *TargetExt = ".mht";

    /// Sets the descriptor into the store in its fixed order: converter class, file mask, open filter,
    /// target extension, short name, project extension (".batch-" + short name), project filter,
    /// title, version. The store's constructor has already set TargetFollowsSource, OverwriteDefault
    /// and PathDelim. `converter` may be null while no converter class is linked in.
    static void Describe(TkvProject &project, const TkvConvertorClass *converter);

    /// The values the information object needs.
    static TkvProductInfo Info();
};
