#pragma once

#include "kvNode.h"

#include <memory>

class TkvBatch;
class TkvConvertor;

/// Creates converters of one class: the product descriptor's ConverterClass names the converter the
/// generic engine builds its chains from.
///
/// Thread safety: stateless; Create runs on the thread that builds the chain (the main thread).
class TkvConvertorClass
{
public:
    virtual ~TkvConvertorClass() = default;
    /// A new suspended converter with `resultCallback`, counting itself and the chainCount - 1 members
    /// that will follow it (ChainCount); it is not linked to any yet.
    virtual std::shared_ptr<TkvConvertor> Create(TkvBatch *batch, int chainCount,
                                                 const TkvNodeEvent &resultCallback) const = 0;
};

/// The converter class of `T` (a TkvConvertor with a constructor taking the batch job).
template <class T> class TkvConvertorClassOf : public TkvConvertorClass
{
public:
    std::shared_ptr<TkvConvertor> Create(TkvBatch *batch, int chainCount,
                                         const TkvNodeEvent &resultCallback) const override
    {
        auto convertor = std::make_shared<T>(batch);
        convertor->InitChain(chainCount, resultCallback);
        return convertor;
    }
};
