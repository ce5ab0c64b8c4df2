// What a server run by systemd needs: telling the service manager that it is ready or
// stopping (the notify protocol, for Type=notify), and taking the listening socket that socket
// activation hands over (the LISTEN_FDS protocol). Both do nothing outside systemd.
#pragma once

#include <string>

// Sends state ("READY=1", "STOPPING=1" ...) to $NOTIFY_SOCKET; false when there is none or the
// datagram could not be sent.
bool notifyServiceManager(const std::string& state);

// The first socket handed over (descriptor 3) when $LISTEN_PID names this process and
// $LISTEN_FDS is 1 or more; -1 otherwise. The variables are removed either way, so that the
// server's children do not take them for theirs.
int takeActivatedSocket();
