#include "kvRunOptions.h"

#include "kvProject.h"

TkvRunOptions::TkvRunOptions()
{
    for (const TkvOptionRow &row : TkvOptionTable::Rows())
        values[size_t(row.option)] = TkvOptionTable::DefaultValue(row.option);
}

TkvRunOptions TkvRunOptions::Take(const TkvProject &project)
{
    TkvRunOptions options;
    for (const TkvOptionRow &row : TkvOptionTable::Rows()) {
        options.texts[size_t(row.option)] = project.GetOption(QLatin1String(row.key));
        options.values[size_t(row.option)] = project.Value(row.option);
    }
    options.ConverterClass = project.ConverterClass;
    options.TargetExt = project.TargetExt;
    options.ShortName = project.ShortName;
    return options;
}
