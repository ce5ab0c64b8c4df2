#include "editor/model/xml_import.h"

#include "editor/model/editor_document.h"
#include "editor/model/editor_error.h"
#include "editor/model/prompts.h"
#include "editor/model/text_conv.h"
#include "editor/model/xml_read.h"

#include <memory>
#include <new>
#include <pugixml.hpp>
#include <sys/stat.h>

namespace {

void advance(int& percent, const ImportProgress& progress)
{
    percent = percent == 99 ? 0 : percent + 1;
    if (progress)
        progress(percent);
}

bool importDocument(EditorDocument& doc, const pugi::xml_document& xml, Prompts& prompts,
                    const ImportProgress& progress)
{
    int percent = 0;
    pugi::xml_node root = xml.document_element();
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || xmlTagName(child) != "OPC_DA")
            continue;
        for (pugi::xml_node plc = child.first_child(); plc; plc = plc.next_sibling())
            if (plc.type() == pugi::node_element && xmlTagName(plc) == "PLC")
                BrowsePlc(doc, plc, prompts, progress, percent);
    }
    return true;
}

void raiseForParse(const pugi::xml_parse_result& result)
{
    switch (result.status) {
    case pugi::status_file_not_found: editor_err::raise(editor_err::kFileNotFound);
    case pugi::status_io_error: editor_err::raise(editor_err::kFileAccess);
    case pugi::status_out_of_memory: throw std::bad_alloc();
    case pugi::status_no_document_element:
        editor_err::raise(editor_err::kXmlUnreadable, "The file has no root element");
    default:
        editor_err::raise(editor_err::kXmlUnreadable, std::string("The file is not well-formed XML: ") +
                                                          result.description() + " at offset " +
                                                          std::to_string(result.offset));
    }
}

} // namespace

namespace {

// The parsed file; nullptr after the reason was reported.
std::unique_ptr<pugi::xml_document> loadXmlFile(const std::string& path, Prompts& prompts)
{
    try {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0)
            editor_err::raise(editor_err::kFileNotFound, "File not found: " + path);
        auto xml = std::make_unique<pugi::xml_document>();
        pugi::xml_parse_result result = xml->load_file(path.c_str(), pugi::parse_default, pugi::encoding_auto);
        if (!result)
            raiseForParse(result);
        return xml;
    } catch (...) {
        reportCaught(prompts, "ImportXML");
    }
    return nullptr;
}

bool importLoaded(EditorDocument& doc, const pugi::xml_document& xml, Prompts& prompts, const ImportProgress& progress)
{
    try {
        return importDocument(doc, xml, prompts, progress);
    } catch (...) {
        reportCaught(prompts, "ImportXML");
    }
    return false;
}

} // namespace

bool ImportXML(EditorDocument& doc, const std::string& path, Prompts& prompts, const ImportProgress& progress)
{
    BusyGuard busy(prompts);
    auto xml = loadXmlFile(path, prompts);
    return xml && importLoaded(doc, *xml, prompts, progress);
}

bool ImportXMLText(EditorDocument& doc, const std::string& text, Prompts& prompts, const ImportProgress& progress)
{
    BusyGuard busy(prompts);
    try {
        auto xml = std::make_unique<pugi::xml_document>();
        pugi::xml_parse_result result =
            xml->load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
        if (!result)
            raiseForParse(result);
        return importDocument(doc, *xml, prompts, progress);
    } catch (...) {
        reportCaught(prompts, "ImportXML");
    }
    return false;
}

bool openConfigurationFile(EditorDocument& doc, const std::string& path, Prompts& prompts,
                           const ImportProgress& progress)
{
    BusyGuard busy(prompts);
    // Read first: a file that cannot be opened leaves the open document as it was.
    auto xml = loadXmlFile(path, prompts);
    if (!xml)
        return false;
    doc.createCollections();
    doc.TreeView1.clear();
    DocNode* root = doc.TreeView1.add(nullptr, "", path, "config", "config", "config");
    doc.TreeView1.setSelectedItem(root);
    CountingPrompts counting(prompts);
    if (!importLoaded(doc, *xml, counting, progress))
        return false;
    doc.gnItemCount = toInt16(static_cast<double>(doc.gcolItems.count()) + 1);
    doc.gnBranchCount = toInt16(static_cast<double>(doc.gcolBranches.count()) + 1);
    doc.gnPlcCount = toInt16(static_cast<double>(doc.gcolPlcs.count()) + 1);
    doc.gbCfgOpen = true;
    // Parts that were reported and skipped are not in the document: saving it as it is would
    // drop them from the file without a word, so it counts as changed.
    doc.gbCfgSaved = counting.messages() == 0;
    return true;
}

void BrowsePlc(EditorDocument& doc, const pugi::xml_node& element, Prompts& prompts, const ImportProgress& progress,
               int& percent)
{
    try {
        auto plc = std::make_shared<clsPLC>();
        plc->SetByXml(element);
        doc.gcolPlcs.add(plc->sName, plc);
        DocNode* root = doc.TreeView1.root();
        if (!root)
            editor_err::raise(editor_err::kObjectNotSet);
        DocNode* node = doc.TreeView1.add(root, plc->sName, plc->sName, "plc", "plc", "plc");
        doc.TreeView1.ensureVisible(node);
        for (pugi::xml_node tags = element.first_child(); tags; tags = tags.next_sibling()) {
            if (tags.type() != pugi::node_element || xmlTagName(tags) != "TAGS")
                continue;
            for (pugi::xml_node child = tags.first_child(); child; child = child.next_sibling())
                if (child.type() == pugi::node_element)
                    BrowseBranch(doc, child, plc->sName, prompts, progress, percent);
        }
    } catch (...) {
        reportCaught(prompts, "BrowsePlc");
    }
}

void BrowseBranch(EditorDocument& doc, const pugi::xml_node& element, const std::string& plcKey, Prompts& prompts,
                  const ImportProgress& progress, int& percent)
{
    try {
        if (xmlTagName(element) != "TAG") {
            auto branch = std::make_shared<clsBranch>();
            branch->build(element, plcKey);
            doc.gcolBranches.add(branch->sKey, branch);
            DocNode* node =
                doc.TreeView1.addChild(branch->getParentKey(), branch->sKey, branch->sName, "branch", "branch", "branch");
            doc.TreeView1.ensureVisible(node);
            for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
                if (child.type() == pugi::node_element)
                    BrowseBranch(doc, child, plcKey, prompts, progress, percent);
        } else {
            auto item = std::make_shared<clsItem>();
            item->SetByXml(element, plcKey);
            doc.gcolItems.add(item->sKey, item);
            DocNode* node = doc.TreeView1.addChild(item->getParentKey(), item->sKey, item->sName, "item", "item", "item");
            doc.TreeView1.ensureVisible(node);
            advance(percent, progress);
        }
    } catch (...) {
        reportCaught(prompts, "BrowseBranch");
    }
}

std::string XmlBranchPath(const pugi::xml_node& element)
{
    std::string path;
    for (pugi::xml_node e = element; e && e.type() == pugi::node_element; e = e.parent()) {
        std::string name = xmlTagName(e);
        if (name == "TAGS")
            break;
        path.insert(0, name + ".");
    }
    return path;
}
