#pragma once

#include "kvMhtError.h"

#include <functional>
#include <string>

/// The text of the EMhtError that `run` raises, or the empty text when it raises none.
inline std::string errorOf(const std::function<void()> &run)
{
    try {
        run();
    } catch (const EMhtError &e) {
        return e.what();
    }
    return {};
}
