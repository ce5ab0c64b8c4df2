#include "editor/model/editor_error.h"

#include "editor/model/prompts.h"

#include <new>

namespace editor_err {

std::string standardDescription(int number)
{
    switch (number) {
    case kInvalidCall: return "Invalid procedure call or argument";
    case kOverflow: return "Overflow";
    case 7: return "Out of memory";
    case kSubscript: return "Subscript out of range";
    case kTypeMismatch: return "Type mismatch";
    case kFileNotFound: return "File not found";
    case kFileAccess: return "Path/File access error";
    case kObjectNotSet: return "Object variable or With block variable not set";
    case kCollectionKey: return "This key is already associated with an element of this collection";
    case kElementNotFound: return "Element not found";
    case kKeyNotUnique: return "Key is not unique in collection";
    case kDialogCancel: return "Cancel was selected";
    case kXmlUnreadable: return "The file can not be read as XML";
    case kNotWritable: return "The value can not be written to the configuration file";
    default: return "Application-defined or object-defined error";
    }
}

void raise(int number) { throw EditorError(number, standardDescription(number)); }

void raise(int number, std::string description) { throw EditorError(number, std::move(description)); }

} // namespace editor_err

std::string errorMessage(int number, std::string_view description, std::string_view where)
{
    std::string text = " Error n. ";
    text += std::to_string(number);
    text += "  ";
    text += description;
    text += " in ";
    text += where;
    return text;
}

std::string errorMessage(const EditorError& error, std::string_view where)
{
    return errorMessage(error.number, error.description, where);
}

void reportCaught(Prompts& prompts, const char* where)
{
    try {
        throw;
    } catch (const EditorError& e) {
        prompts.message(errorMessage(e, where));
    } catch (const std::bad_alloc&) {
        prompts.message(errorMessage(7, editor_err::standardDescription(7), where));
    }
}
