// The editor's common error message: " Error n. " + number + two blanks + description +
// " in " + the operation's name, in an OK box captioned with the program's title.
#pragma once

#include "editor/model/prompts.h"

#include <functional>
#include <string>
#include <string_view>

// The program's title, the caption of the editor's message boxes ("Pelmora").
std::string programTitle();

void showErrorMessage(Prompts& prompts, int number, std::string_view description, std::string_view where);

// Runs body; an error raised inside is shown with " in " + where and ends the operation.
// Errors whose numbers are in silent end it without a message. False when an error ended it.
bool trapErrors(Prompts& prompts, std::string_view where, const std::function<void()>& body,
                std::initializer_list<int> silent = {});
