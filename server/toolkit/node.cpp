#include "server/toolkit/node.h"

SOCmnPointer<SODaSNode> SODaSNode::findBranch(std::string_view name, int /*flags*/) const
{
    std::lock_guard g(childrenMutex_);
    for (const auto& b : branches_)
        if (b->getName() == name)
            return b;
    return {};
}

SOCmnPointer<SODaSTag> SODaSNode::findLeaf(std::string_view name) const
{
    std::lock_guard g(childrenMutex_);
    for (const auto& l : leaves_)
        if (l->getName() == name)
            return l;
    return {};
}

bool SODaSNode::acceptsName(std::string_view name) const
{
    // Only the root knows the bad characters; ask it.
    SOCmnPointer<SODaSNode> up = getParentBranch();
    if (!up)
        return true;
    return up->acceptsName(name);
}

bool SODaSNode::addBranch(SODaSNode* branch)
{
    if (!branch || branch == this || !acceptsName(branch->getName()))
        return false;
    {
        std::lock_guard g(branch->elementMutex_);
        if (branch->parent_)
            return false;
        branch->parent_ = this;
    }
    std::lock_guard g(childrenMutex_);
    branches_.push_back(SOCmnPointer<SODaSNode>::share(branch));
    return true;
}

bool SODaSNode::addLeaf(SODaSTag* leaf)
{
    if (!leaf || !acceptsName(leaf->getName()))
        return false;
    {
        std::lock_guard g(leaf->elementMutex_);
        if (leaf->parent_)
            return false;
        leaf->parent_ = this;
    }
    std::lock_guard g(childrenMutex_);
    leaves_.push_back(SOCmnPointer<SODaSTag>::share(leaf));
    return true;
}

std::vector<SOCmnPointer<SODaSNode>> SODaSNode::getBranchList() const
{
    std::lock_guard g(childrenMutex_);
    return branches_;
}

std::vector<SOCmnPointer<SODaSTag>> SODaSNode::getLeafList() const
{
    std::lock_guard g(childrenMutex_);
    return leaves_;
}

void SODaSNode::clearChildren()
{
    std::vector<SOCmnPointer<SODaSNode>> branches;
    std::vector<SOCmnPointer<SODaSTag>> leaves;
    {
        std::lock_guard g(childrenMutex_);
        branches.swap(branches_);
        leaves.swap(leaves_);
    }
    for (auto& b : branches) {
        b->clearChildren();
        std::lock_guard g(b->elementMutex_);
        b->parent_ = nullptr;
    }
    for (auto& l : leaves) {
        std::lock_guard g(l->elementMutex_);
        l->parent_ = nullptr;
    }
}

SODaSNameSpaceRoot::SODaSNameSpaceRoot() = default;

char SODaSNameSpaceRoot::getTreeDelimiter(std::string* acceptedDelimiters, std::string* badCharacters) const
{
    std::lock_guard g(delimiterMutex_);
    if (acceptedDelimiters)
        *acceptedDelimiters = accepted_;
    if (badCharacters)
        *badCharacters = bad_;
    return delimiter_;
}

void SODaSNameSpaceRoot::setTreeDelimiter(char delimiter, std::string acceptedDelimiters, std::string badCharacters)
{
    std::lock_guard g(delimiterMutex_);
    delimiter_ = delimiter;
    accepted_ = std::move(acceptedDelimiters);
    bad_ = std::move(badCharacters);
}

bool SODaSNameSpaceRoot::acceptsName(std::string_view name) const
{
    std::lock_guard g(delimiterMutex_);
    return name.find_first_of(bad_) == std::string_view::npos;
}

std::vector<std::string> SODaSNameSpaceRoot::splitItemId(std::string_view itemId) const
{
    std::string separators;
    {
        std::lock_guard g(delimiterMutex_);
        separators = accepted_;
        separators += delimiter_;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t at = itemId.find_first_of(separators, start);
        parts.emplace_back(itemId.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            break;
        start = at + 1;
    }
    return parts;
}

SOCmnPointer<SODaSNode> SODaSNameSpaceRoot::findNode(std::string_view path) const
{
    SOCmnPointer<SODaSNode> node = SOCmnPointer<SODaSNode>::share(const_cast<SODaSNameSpaceRoot*>(this));
    if (path.empty())
        return node;
    for (const std::string& name : splitItemId(path)) {
        node = node->findBranch(name);
        if (!node)
            return {};
    }
    return node;
}

SOCmnPointer<SODaSTag> SODaSNameSpaceRoot::findItem(std::string_view itemId) const
{
    if (itemId.empty())
        return {};
    std::vector<std::string> parts = splitItemId(itemId);
    SOCmnPointer<SODaSNode> node = SOCmnPointer<SODaSNode>::share(const_cast<SODaSNameSpaceRoot*>(this));
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        node = node->findBranch(parts[i]);
        if (!node)
            return {};
    }
    return node->findLeaf(parts.back());
}
