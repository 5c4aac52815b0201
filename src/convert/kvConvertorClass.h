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
    /// A new suspended converter heading a chain of max(1, chainCount) converters of this class, each
    /// with `resultCallback`.
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
        convertor->InitChain(*this, chainCount, resultCallback);
        return convertor;
    }
};
