#ifndef STATUSVALUES_H
#define STATUSVALUES_H

// The status values of the settings exchange, as the module reads and sends
// them: plain integers on the wire.
namespace StatusValue
{
constexpr int Loading = 1;
constexpr int Enabled = 2;
constexpr int Partly = 3;
constexpr int Disabled = 4;
constexpr int EnabledAfterReboot = 5;
constexpr int DisabledAfterReboot = 6;
}

#endif
