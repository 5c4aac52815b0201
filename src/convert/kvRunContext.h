#pragma once

#include "kvRunOptions.h"

#include <memory>

struct TkvEngineParts;

/// What the converters of one chain share with the run that started them: the run's options and the
/// engine's parts. The run and every converter hold it, so it lives until the last of them has let go.
///
/// Thread safety: Options are read-only and the engine's parts are thread-safe; any thread.
class TkvRunContext
{
public:
    explicit TkvRunContext(TkvRunOptions options, std::shared_ptr<TkvEngineParts> engine = nullptr);

    const TkvRunOptions Options;
    const std::shared_ptr<TkvEngineParts> Engine; ///< null: nothing is shared between conversions
};
