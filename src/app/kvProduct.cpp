#include "kvProduct.h"

#include "kvProject.h"

void TkvProduct::Describe(TkvProject &project, const TkvConvertorClass *converter)
{
    project.ConverterClass = converter;
    project.FileMask = QString::fromLatin1(FileMask);
    project.OpenFilter = QString::fromLatin1(OpenFilter);
    project.TargetExt = QString::fromLatin1(TargetExt);
    project.ShortName = QString::fromLatin1(TkvProductValues::ShortName);
    project.ProjectExt = QStringLiteral(".batch-") + project.ShortName;
    project.ProjectFilter = QStringLiteral("Batch WEB2ARC Project|*") + project.ProjectExt;
    project.Title = QString::fromLatin1(TkvProductValues::Title);
    project.Version = QString::fromLatin1(TkvProductValues::Version);
}

TkvProductInfo TkvProduct::Info()
{
    return TkvProductInfo{QString::fromLatin1(TkvProductValues::Title), QString::fromLatin1(TkvProductValues::Version),
                          QString::fromLatin1(TkvProductValues::ShortName)};
}
