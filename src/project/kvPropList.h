#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

/// The binding of one control: reads and writes the control's properties by name through its
/// QMetaObject. A name matches a property without regard to case ("Text" finds `text`).
///
/// Property kinds: a boolean reads "True"/"False" and is written from a value name in any case (the
/// empty text stands for "False"); another enumeration reads and is written by its key names; an
/// integer reads as decimal and is never written; a string reads and is written as text. Any other
/// kind reads as its text and is never written. No failure leaves this class: a missing property or
/// an unknown value name reads as the empty text or leaves the control unchanged.
///
/// Window thread only (the thread that owns the control). Does not own the control; a destroyed
/// control reads as empty and ignores writes.
class TkvPropList
{
public:
    explicit TkvPropList(QObject *control);

    QObject *Control() const { return control.data(); }

    QString ReadProperty(const QString &name) const;
    void WriteProperty(const QString &name, const QString &value);

private:
    QPointer<QObject> control;
};
