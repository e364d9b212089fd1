#ifndef MIC_STATUS_H
#define MIC_STATUS_H

#include <QMetaType>
#include <QObject>

namespace Mic
{
Q_NAMESPACE

// The state of MIC, of file-system protection and of service isolation, as
// the privileged helper reports it.
enum Status : qint32 {
    Undefined = 0,
    Loading = 1,
    Enabled = 2,
    Partly = 3,
    Disabled = 4,
    EnabledAfterReboot = 5,
    DisabledAfterReboot = 6,
};
Q_ENUM_NS(Status)
}

// Registers the type under the name "Mic::Status", so that a plain integer in
// a QVariant converts to it.
void registerMicStatus();

#endif
