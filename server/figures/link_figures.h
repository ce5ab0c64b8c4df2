// The figures of the PLCs, their cyclic blocks and the lines, as the door's "stats" reply
// carries them (docs/door.md); the status window shows the same.
#pragma once

#include <nlohmann/json.hpp>

// With reset, every counter starts afresh first (the reply then shows the fresh figures).
nlohmann::json linkFigures(bool reset = false);

// Per PLC its unit, port and the last result of its cyclic reads with the result's text: the
// door's "plcs" reply.
nlohmann::json plcStatusList();

// The message lines of the status window, newest first (the ring's unused entries left out),
// with the count of lines written since the start: the door's "messages" reply.
nlohmann::json messageLines();
