#pragma once

#include "kvConvertorClass.h"
#include "kvNode.h"
#include "kvWorkBase.h"

#include <QString>

#include <atomic>
#include <memory>

class TkvBatch;
class TkvRunContext;
class TkvRunOptions;
struct TkvEngineParts;
class TkvPageRenderer;

/// One converter thread of a chain. Each takes entries from the job's queue (TkvWorkBase's loop) and
/// calls Convert and then ResultCallback for each. The chain is linked head to tail through
/// NextConvertor, which owns the next member, and each running member owns itself, so every member
/// stays valid until the whole chain has ended and its owner has let go of the head: Stop on a
/// partly ended chain is safe.
///
/// Every member shares the run's context: it reads its options and the engine's parts from there
/// (never from the store), and counts itself there from joining the chain until its run has ended, so
/// the run learns when the whole chain is over.
///
/// Use: CreateChain (suspended chain), Start; Stop to end early (no file in progress is interrupted;
/// a member waiting for an entry still takes the next one).
///
/// The product's converter overrides Convert and calls ComputeTargetPath and PostProcess from it.
///
/// Thread safety: CreateChain, Start and Stop on the main thread; Convert, ComputeTargetPath,
/// PostProcess and ResultCallback on the worker threads, several at once.
class TkvConvertor : public TkvWorkBase
{
public:
    /// A suspended converter of no run yet. REQUIRES: `batch` is not null and outlives the converter's
    /// run.
    explicit TkvConvertor(TkvBatch *batch);
    ~TkvConvertor() override;

    /// Builds a suspended chain for `batch`: sets the job's TargetDir to UrlToPath(targetDir) and creates
    /// ThreadsCount members through the options' ConverterClass (TkvConvertor's own class when there is
    /// none); every member joins `context` (null: a context with default options and no shared parts),
    /// counting there until its run has ended. The chain has at least one member and at most
    /// MaxChainLength, and no more than the entries left when the job's search is already done.
    static std::shared_ptr<TkvConvertor> CreateChain(TkvBatch *batch, const QString &targetDir,
                                                     const TkvNodeEvent &resultCallback,
                                                     std::shared_ptr<TkvRunContext> context);
    /// The class of plain TkvConvertor objects.
    static const TkvConvertorClass &Class();
    /// The most converters one chain runs, whatever ThreadsCount asks for: more threads than this only
    /// compete for the same disk and network.
    static constexpr int MaxChainLength = 256;
    /// Called by the converter class right after construction: stores the callback and sets ChainCount
    /// to max(1, chainCount). CreateChain makes and links the later members, one after the other (a
    /// chain of thousands never nests calls).
    virtual void InitChain(int chainCount, const TkvNodeEvent &resultCallback);

    /// Starts this converter and then every later member, the head first.
    void Start();
    /// Sets the terminated flag of every member, from the tail back to the head.
    void Stop();

    TkvNodeEvent ResultCallback;
    std::shared_ptr<TkvConvertor> NextConvertor; ///< the next member; null for the tail
    int ChainCount = 1;                          ///< members from this one to the tail, this one included

    /// The target path of `node` under the job's TargetDir:
    /// - the relative name is the entry's TargetName when it has one (a site's page; the extension is
    ///   then kept as it is), else the path below the job's SourceDir when KeepTargetSubdirs is true and
    ///   the entry lies below SourceDir, else the name part; for a web address ("http...") it is the
    ///   text after the scheme's ':' without the fragment, with every '/', '\' and ':' replaced by '_';
    /// - the extension (of a web address: only within the last segment of its path, before the query)
    ///   is replaced by (or, without a dot in the name, extended with) TargetExt;
    /// - AdjustTargetName is applied; the folder is created with its parents, and the first time the
    ///   job uses a folder the temporary files a killed earlier run left there are removed;
    /// - a path another entry of the job was given is not used again: the entry gets the first free
    ///   numbered form ("a-2.mht") instead (TkvBatch::TargetClaims);
    /// - a path that is the entry's own file fails the entry ("Cannot convert ... onto itself");
    /// - an existing file is handled by IsOverwrite: overwrite (the path), skip (empty result and
    ///   Status 1, Message untouched), keep both ("-" + ShortName + "-" before the name, numbered like
    ///   "-web2arc-a-2.mht" when that exists too: nothing is replaced).
    /// Returns the empty text when the entry is to be left alone: skipped (Status 1), or failed
    /// because its folder cannot be created (Status 2, Message "CreateDir Failed: <folder>", counted
    /// once through AddFailure) or because it is its own target. Convert then leaves the entry as it is.
    QString ComputeTargetPath(TkvBatch &batch, TkvNode &node);
    /// The run's options (the defaults while the converter belongs to no run).
    const TkvRunOptions &Options() const;
    /// The engine's parts the run's conversions share; null when there are none.
    TkvEngineParts *EngineParts() const;
    /// The renderer that runs the pages' scripts; null when they are not to run.
    TkvPageRenderer *Renderer() const;
    /// After a successful conversion: copies the source's file times to the target (KeepFileTime),
    /// deletes the source (DeleteSource), moves it to its path + RenameSource (when set, and only
    /// when no file has that name: an existing one is never replaced). Every failure here is silent
    /// and leaves the entry's outcome unchanged.
    void PostProcess(TkvBatch &batch, TkvNode &node, const QString &targetPath);

protected:
    /// Convert, then ResultCallback. An exception escaping Convert marks the entry failed (Status 2,
    /// its text as Message, counted once) before the callback runs.
    void ProcessEntry() override;
    /// Converts one entry, setting Status and Message and counting the outcome on the job. The base
    /// version does nothing.
    virtual void Convert(TkvBatch &batch, TkvNode &node);
    /// Last hook on a computed target path; the base version returns it unchanged.
    virtual QString AdjustTargetName(const QString &path);
    /// The converter's last act: it no longer counts in the run's context.
    void DoTerminate() override;

private:
    /// Joins `context`, counting there until the run ends.
    void join(std::shared_ptr<TkvRunContext> runContext);
    /// ComputeTargetPath's choice between the claimed path, the entry's own file and IsOverwrite.
    QString chooseTarget(TkvBatch &batch, TkvNode &node, const QString &target);
    /// Marks `node` failed with `failure`, counted once.
    static void failEntry(TkvBatch &batch, TkvNode &node, const QString &failure);
    /// The members a chain gets for `threadsCount` on `batch` (see CreateChain).
    static int chainLength(TkvBatch &batch, int threadsCount);

    std::shared_ptr<TkvRunContext> context;
    std::atomic<bool> counted{false}; // included in the context's count
};
