// TkvProject: copying option values between the bound controls and the options.
#include "kvProject.h"

#include "kvPropList.h"

#include <QVariant>

// ---- control binding ----

TkvPropList *TkvProject::BindingOf(QObject *control)
{
    bool ok = false;
    const int tag = control->property("tag").toInt(&ok);
    if (ok && tag > 0 && size_t(tag) <= PropLists.size() && PropLists[size_t(tag - 1)]->Control() == control) {
        return PropLists[size_t(tag - 1)].get();
    }
    PropLists.push_back(std::make_unique<TkvPropList>(control));
    control->setProperty("tag", int(PropLists.size()));
    return PropLists.back().get();
}

void TkvProject::BindControl(QObject *control)
{
    if (control) {
        BoundControls.emplace_back(control);
    }
}

void TkvProject::OptionsToControls()
{
    for (const QPointer<QObject> &control : BoundControls) {
        if (!control) {
            continue;
        }
        TkvPropList *binding = BindingOf(control);
        const QString name = control->objectName();
        const QString hint = control->property("hint").toString();
        QString value = GetOption(name.mid(1));
        if (value.isEmpty()) {
            const QString fallback = name + QLatin1Char('.') + hint;
            value = GetOption(fallback);
            SetOption(fallback, QString());
        }
        binding->WriteProperty(hint, value);
    }
}

void TkvProject::ControlsToOptions()
{
    for (const QPointer<QObject> &control : BoundControls) {
        if (!control) {
            continue;
        }
        const QString key = control->objectName().mid(1);
        if (key.isEmpty()) {
            continue; // no key to write to
        }
        TkvPropList *binding = BindingOf(control);
        const QString hint = control->property("hint").toString();
        SetOption(key, binding->ReadProperty(hint));
    }
}

void TkvProject::UnbindControls()
{
    for (const QPointer<QObject> &control : BoundControls) {
        if (control && control->property("tag").toInt() > 0) {
            control->setProperty("tag", -1);
        }
    }
    BoundControls.clear();
}
