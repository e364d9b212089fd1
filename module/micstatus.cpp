#include "micstatus.h"

void registerMicStatus()
{
    qRegisterMetaType<Mic::Status>("Mic::Status");
}
