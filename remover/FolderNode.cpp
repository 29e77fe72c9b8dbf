#include "FolderNode.h"

namespace remover {

NodeRef makeNode(NodeRef parent, std::string name, const EntryIdentity& identity)
{
    return NodeRef(new FolderNode(std::move(parent), std::move(name), identity));
}

void NodeRef::releaseChain(FolderNode* node) noexcept
{
    // Each node freed here hands its own reference to its parent on to the
    // loop instead of releasing it from its destructor.
    while (node) {
        const long before = node->m_references.fetch_sub(1, std::memory_order_acq_rel);
        ENGINE_CHECK(before >= 1); // N5
        if (before != 1)
            return;
        FolderNode* const above = node->parent.m_node;
        node->parent.m_node = nullptr;
        delete node;
        node = above;
    }
}

std::string FolderNode::pathFromTop() const
{
    std::vector<const FolderNode*> chain;
    for (const FolderNode* node = this; node->parent; node = node->parent.get())
        chain.push_back(node);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += '/';
        path += (*it)->name;
    }
    return path;
}

} // namespace remover
