#pragma once

#include "kvOptionTable.h"

#include <QString>

#include <array>

class TkvConvertorClass; // the converter factory, defined by the conversion layer
class TkvProject;

/// The options of one run, taken from the project once when the run starts: every option of the
/// table as the text the project held and as its typed value (a text that does not read gives the
/// option's default), and the descriptor values a run uses. The search thread, the workers and the
/// engine read only this value, never the store, so a change made in the window during a run never
/// reaches the run halfway.
///
/// A value type; const after Take, so any thread may read it.
class TkvRunOptions
{
public:
    /// Every option at its default; no descriptor values.
    TkvRunOptions();
    /// The project's options now, with its descriptor's converter class, target extension and short
    /// name.
    static TkvRunOptions Take(const TkvProject &project);

    /// The option's text as the project held it; empty when absent.
    QString Text(TkvOption option) const { return texts[size_t(option)]; }
    /// A boolean option's value.
    bool Boolean(TkvOption option) const { return values[size_t(option)] != 0; }
    /// An integer option's value, or the overwrite rule (0 write beside, 1 overwrite, 9 skip).
    int Integer(TkvOption option) const { return values[size_t(option)]; }

    const TkvConvertorClass *ConverterClass = nullptr; ///< null: the plain converter
    QString TargetExt;                                 ///< extension of the archives, ".mht"
    QString ShortName;                                 ///< the product's short name, in tagged names

private:
    std::array<QString, TkvOptionTable::Count> texts;
    std::array<int, TkvOptionTable::Count> values;
};
