#include "kvRunContext.h"

#include "kvEngineParts.h"

TkvRunContext::TkvRunContext(TkvRunOptions options, std::shared_ptr<TkvEngineParts> engine)
    : Options(std::move(options)), Engine(std::move(engine))
{}
