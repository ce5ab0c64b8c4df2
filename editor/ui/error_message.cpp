#include "editor/ui/error_message.h"

#include "editor/model/editor_error.h"

#include <algorithm>
#include <exception>
#include <new>

std::string programTitle() { return "Pelmora"; }

void showErrorMessage(Prompts& prompts, int number, std::string_view description, std::string_view where)
{
    prompts.message(errorMessage(number, description, where), PromptIcon::None, programTitle());
}

bool trapErrors(Prompts& prompts, std::string_view where, const std::function<void()>& body,
                std::initializer_list<int> silent)
{
    try {
        body();
        return true;
    } catch (const EditorError& error) {
        if (std::find(silent.begin(), silent.end(), error.number) == silent.end())
            showErrorMessage(prompts, error.number, error.description, where);
    } catch (const std::bad_alloc&) {
        showErrorMessage(prompts, 7, "Out of memory", where);
    } catch (const std::exception& error) {
        showErrorMessage(prompts, editor_err::kInvalidCall, error.what(), where);
    }
    return false;
}
