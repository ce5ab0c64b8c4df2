// File-backed stand-in for the machine-wide registry that the server and the editor share.
//
// A key is the folder <root>/<key path in lower case, "\" as "/">; its string values are the
// lines "name=value" of the file "values" in that folder. Key and value names compare without
// regard to case, as the Windows registry does. Writes are atomic (temporary file + rename);
// a missing root, key or value reads as absent, never as an error.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Registry {
public:
    explicit Registry(std::filesystem::path root);

    // $MOLV_REGISTRY_ROOT when set and not empty, else /etc/molv/registry.
    static Registry fromEnvironment();
    static std::filesystem::path defaultRoot();

    const std::filesystem::path& root() const { return root_; }

    bool keyExists(std::string_view key) const;
    std::optional<std::string> readString(std::string_view key, std::string_view name) const;
    // Every value of the key, in file order, names as written.
    std::vector<std::pair<std::string, std::string>> values(std::string_view key) const;

    // Creates the key (and its parents) when needed. Refuses names with "=" or line breaks and
    // values with line breaks. On failure returns false and, when given, fills *error.
    bool writeString(std::string_view key, std::string_view name, std::string_view value,
                     std::string* error = nullptr);
    // Removing what is not there succeeds.
    bool deleteValue(std::string_view key, std::string_view name, std::string* error = nullptr);
    // Removes the key with all its sub-keys and values.
    bool deleteKey(std::string_view key, std::string* error = nullptr);

    std::filesystem::path keyFolder(std::string_view key) const;

private:
    bool writeValues(std::string_view key, const std::vector<std::pair<std::string, std::string>>& values,
                     std::string* error);

    std::filesystem::path root_;
};
