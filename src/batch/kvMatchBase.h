#pragma once

#include <QString>

/// The name test used by batch jobs: does `pattern` accept `subject`? This base accepts everything.
///
/// Thread safety: implementations hold no state, so one instance serves every job and thread.
class TkvMatchBase
{
public:
    virtual ~TkvMatchBase() = default;
    virtual bool Match(const QString &subject, const QString &pattern) const;
};

/// The process-wide name matcher, created at start-up; null means every path is accepted. Tests set
/// their own instance and reset the pointer afterwards.
extern TkvMatchBase *NameMatcher;
