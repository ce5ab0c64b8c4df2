// Builds documents for the editor model tests the way the dialogs and the import do.
#pragma once

#include "editor/model/editor_document.h"
#include "editor/model/scripted_prompts.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

inline void openEmpty(EditorDocument& doc, const std::string& path = "/tmp/Vorlask.xml")
{
    doc.createCollections();
    doc.TreeView1.clear();
    DocNode* root = doc.TreeView1.add(nullptr, "", path, "config", "config", "config");
    doc.TreeView1.setSelectedItem(root);
    doc.gbCfgOpen = true;
}

inline std::shared_ptr<clsPLC> addPlc(EditorDocument& doc, const std::string& name, int id = 1)
{
    auto plc = std::make_shared<clsPLC>();
    PlcFormFields f{name, std::to_string(id), "COM1", "9600", "2", "7", "EVEN"};
    plc->SetByForm(f);
    doc.gcolPlcs.add(plc->sKey(), plc);
    doc.TreeView1.add(doc.TreeView1.root(), plc->sKey(), plc->sName, "plc", "plc", "plc");
    return plc;
}

inline std::shared_ptr<clsBranch> addBranch(EditorDocument& doc, const std::string& parentKey, const std::string& name)
{
    auto b = std::make_shared<clsBranch>();
    b->sName = name;
    b->sKey = parentKey + "." + name;
    doc.gcolBranches.add(b->sKey, b);
    doc.TreeView1.addChild(parentKey, b->sKey, name, "branch", "branch", "branch");
    return b;
}

inline std::shared_ptr<clsItem> addItem(EditorDocument& doc, const std::string& parentKey, const std::string& name,
                                        const std::string& type = "signed 16 bit", int address = 100,
                                        const std::string& comment = "")
{
    auto it = std::make_shared<clsItem>();
    it->sName = name;
    it->sComment = comment;
    it->sDataType = type;
    it->sArea = "DM";
    it->nAddress = address;
    it->sAccessRight = "READWRITE";
    it->sKey = parentKey + "." + name;
    doc.gcolItems.add(it->sKey, it);
    doc.TreeView1.addChild(parentKey, it->sKey, name, "item", "item", "item");
    return it;
}

// A fresh folder under the temporary directory, removed with the object.
struct TempDir {
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-model-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Lines of a CR LF text; fails the caller's expectations when a bare LF appears.
inline std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}
