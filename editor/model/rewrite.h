// pelmora --rewrite IN OUT: import IN as Open does and write OUT as Save As does, without a
// window and without touching the registry. Messages go to err, one per line, in the editor's
// common message format.
#pragma once

#include <ostream>
#include <string>

// 0 when IN was read without any reported error and OUT was written; 1 otherwise.
int runRewrite(const std::string& in, const std::string& out, std::ostream& err);
