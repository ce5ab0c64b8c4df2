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

// The user the installed service runs as, whose door folder clients trust.
inline constexpr const char* kServiceUser = "vorlask";

// Why the folder of a door socket is not to be trusted, or "" when it is: it must be a real
// folder (not a symbolic link), owned by this user, root or the service's user, and not
// writable by others. Another local user who made the folder first, or may write in it, could
// put a door of their own there, and a client would send it its writes.
std::string untrustedDoorFolder(const std::string& folder);

// Makes the socket's folder ready for the server: a missing folder is created with mode 0700
// (at once, so no one can step in between); an existing one must pass untrustedDoorFolder, and
// the private default folder /tmp/vorlask-<uid> is kept at 0700. An existing socket file is
// removed when no server answers on it; when one answers, the path is not a socket or the
// folder is not to be trusted, the result is false with *error filled.
bool prepareDoorSocketPath(const std::string& path, std::string* error);
