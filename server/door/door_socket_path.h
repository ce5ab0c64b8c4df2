// Where the local door listens: --socket PATH, else $VORLASK_SOCKET, else
// $XDG_RUNTIME_DIR/vorlask.sock, else /tmp/vorlask-<uid>/vorlask.sock. Server and clients use
// the same rule so that both find each other without being told.
#pragma once

#include <string>

// explicitPath is what the command line gave (empty: not given).
std::string resolveDoorSocketPath(const std::string& explicitPath);

// The installed service's door, where a client looks last.
inline constexpr const char* kServiceDoorSocket = "/run/vorlask/vorlask.sock";

// The socket a client connects to: the same rule, except that when neither the command line
// nor $VORLASK_SOCKET names one and the user's own socket is not there, the installed
// service's (kServiceDoorSocket) is taken when it exists.
std::string resolveClientDoorSocketPath(const std::string& explicitPath);

// Makes the socket's folder ready for the server: a missing folder is created with mode 0700;
// the private default folder /tmp/vorlask-<uid> must belong to us and is kept at 0700 (another
// user could have planted it). An existing socket file is removed when no server answers on it;
// when one answers, or the path is not a socket, the result is false with *error filled.
bool prepareDoorSocketPath(const std::string& path, std::string* error);
