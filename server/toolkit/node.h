// Branch nodes and the namespace root.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/tag.h"

// A branch: children branches and leaves (tags), each list in insertion order. The node owns
// what is added to it.
class SODaSNode : public SODaSElement {
public:
    SODaSNode() = default;
    explicit SODaSNode(std::string name) { setName(std::move(name)); }

    // The direct child branch of that name (exact, case-sensitive); empty when none. The
    // second argument is the toolkit's search flag and is always 0.
    SOCmnPointer<SODaSNode> findBranch(std::string_view name, int flags = 0) const;
    SOCmnPointer<SODaSTag> findLeaf(std::string_view name) const;

    // The node takes its own reference; the caller keeps or drops its handle. False when the
    // child already has a parent or its name holds one of the root's bad characters.
    bool addBranch(SODaSNode* branch);
    bool addLeaf(SODaSTag* leaf);
    bool addBranch(const SOCmnPointer<SODaSNode>& branch) { return addBranch(branch.get()); }
    bool addLeaf(const SOCmnPointer<SODaSTag>& leaf) { return addLeaf(leaf.get()); }

    std::vector<SOCmnPointer<SODaSNode>> getBranchList() const;
    std::vector<SOCmnPointer<SODaSTag>> getLeafList() const;

    // Removes all children, depth first (used when the toolkit terminates).
    void clearChildren();

protected:
    virtual bool acceptsName(std::string_view name) const;

private:
    mutable std::mutex childrenMutex_;
    std::vector<SOCmnPointer<SODaSNode>> branches_;
    std::vector<SOCmnPointer<SODaSTag>> leaves_;
};

class SODaSNodeDefault : public SODaSNode {
public:
    using SODaSNode::SODaSNode;
};

class SODaSNameSpaceRoot : public SODaSNode {
public:
    SODaSNameSpaceRoot();

    // The delimiter and the toolkit's two character sets: the characters also accepted as
    // delimiter in client item IDs, and the characters no name may hold.
    char getTreeDelimiter(std::string* acceptedDelimiters, std::string* badCharacters) const;
    void setTreeDelimiter(char delimiter, std::string acceptedDelimiters, std::string badCharacters);

    // The leaf of an item ID ("Press.Line1.Speed"); empty when there is none.
    SOCmnPointer<SODaSTag> findItem(std::string_view itemId) const;
    // The node of a branch path; the root itself for "".
    SOCmnPointer<SODaSNode> findNode(std::string_view path) const;

protected:
    bool acceptsName(std::string_view name) const override;

private:
    std::vector<std::string> splitItemId(std::string_view itemId) const;

    mutable std::mutex delimiterMutex_;
    char delimiter_ = '.';
    std::string accepted_ = ".";
    std::string bad_;
};
