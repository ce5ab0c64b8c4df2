// The editor's run-time errors. Operations that the handlers trap raise an EditorError with a
// number and a description; a handler turns it into the one common message text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

struct EditorError : std::runtime_error {
    EditorError(int number, std::string description)
        : std::runtime_error(description), number(number), description(std::move(description)) {}
    int number;
    std::string description;
};

// The numbers the editor's operations raise, with the descriptions the handlers show.
namespace editor_err {
inline constexpr int kInvalidCall = 5;         // "Invalid procedure call or argument"
inline constexpr int kOverflow = 6;            // "Overflow"
inline constexpr int kSubscript = 9;           // "Subscript out of range"
inline constexpr int kTypeMismatch = 13;       // "Type mismatch"
inline constexpr int kFileNotFound = 53;       // "File not found"
inline constexpr int kFileAccess = 75;         // "Path/File access error"
inline constexpr int kObjectNotSet = 91;       // "Object variable or With block variable not set"
inline constexpr int kCollectionKey = 457;     // "This key is already associated with an element of this collection"
inline constexpr int kElementNotFound = 35601; // "Element not found"
inline constexpr int kKeyNotUnique = 35602;    // "Key is not unique in collection"
inline constexpr int kDialogCancel = 32755;    // a file dialog was cancelled
inline constexpr int kXmlUnreadable = -2147467259; // the file can't be read as XML
inline constexpr int kNotWritable = 1004;      // a value the configuration file can't carry

[[noreturn]] void raise(int number);                             // standard description
[[noreturn]] void raise(int number, std::string description);
std::string standardDescription(int number);
} // namespace editor_err

// " Error n. " + number + two blanks + description + " in " + where.
// where is the procedure's name without " in " ("CreateXML", "clsItem.GetXmlTag").
std::string errorMessage(int number, std::string_view description, std::string_view where);
std::string errorMessage(const EditorError& error, std::string_view where);

class Prompts;
// Inside a catch (...) of a handler: shows the error being handled (an EditorError, or out of
// memory as error 7) as its message, from where. Any other exception goes on.
void reportCaught(Prompts& prompts, const char* where);
