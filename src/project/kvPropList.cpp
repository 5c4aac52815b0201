#include "kvPropList.h"

#include <QMetaEnum>
#include <QMetaProperty>

namespace {

/// The first property whose name equals `name` without regard to case; invalid when none does.
QMetaProperty findProperty(const QObject *object, const QString &name)
{
    if (!object || name.isEmpty()) {
        return QMetaProperty();
    }
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0) {
            return property;
        }
    }
    return QMetaProperty();
}

bool isInteger(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

} // namespace

TkvPropList::TkvPropList(QObject *control) : control(control)
{}

QString TkvPropList::ReadProperty(const QString &name) const
{
    const QMetaProperty property = findProperty(control, name);
    if (!property.isValid() || !property.isReadable()) {
        return QString();
    }
    const QVariant value = property.read(control);
    if (!value.isValid()) {
        return QString();
    }
    const int typeId = property.metaType().id();
    if (typeId == QMetaType::Bool) {
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    if (property.isEnumType()) {
        const QMetaEnum enumerator = property.enumerator();
        const int number = value.toInt();
        const QByteArray key =
            enumerator.isFlag() ? enumerator.valueToKeys(number) : QByteArray(enumerator.valueToKey(number));
        return key.isEmpty() ? QString::number(number) : QString::fromLatin1(key);
    }
    if (isInteger(typeId)) {
        return QString::number(value.toLongLong());
    }
    return value.toString();
}

void TkvPropList::WriteProperty(const QString &name, const QString &value)
{
    const QMetaProperty property = findProperty(control, name);
    if (!property.isValid() || !property.isWritable()) {
        return;
    }
    const QString valueName = value.isEmpty() ? QStringLiteral("False") : value;
    const int typeId = property.metaType().id();
    if (typeId == QMetaType::Bool) {
        if (valueName.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            property.write(control, true);
        } else if (valueName.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            property.write(control, false);
        }
        return;
    }
    if (property.isEnumType()) {
        const QMetaEnum enumerator = property.enumerator();
        for (int i = 0; i < enumerator.keyCount(); ++i) {
            if (valueName.compare(QLatin1String(enumerator.key(i)), Qt::CaseInsensitive) == 0) {
                property.write(control, enumerator.value(i));
                return;
            }
        }
        return;
    }
    if (typeId == QMetaType::QString) {
        property.write(control, value);
    }
}
