#ifndef STATUSVALUES_H
#define STATUSVALUES_H

// The status values of the settings exchange, as the module reads and sends
// them: plain integers on the wire. The helper and the command-line client
// share them; the pages read them as Mic::Status.
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
