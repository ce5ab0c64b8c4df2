// Whole files: read at once, and written so that they are either replaced completely or left
// as they were.
#pragma once

#include <string>

// Writes bytes to a temporary file beside path and renames it over path once complete; the
// file keeps its permissions. Raises editor_err::kFileAccess naming path and the reason.
void writeReplacing(const std::string& path, const std::string& bytes);

// The file's bytes; false with why set ("No such file or directory") when it can't be read.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& why);
