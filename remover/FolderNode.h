#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "EngineInvariants.h"
#include "EntryIdentity.h"

namespace remover {

struct FolderNode;

// A counted reference to a folder node. Each node holds one to its parent, so
// a tree 10,000 folders deep is a chain of 10,000 references: releasing the
// last reference to the deepest node frees the chain in a loop, never with one
// nested call per level, which would overflow a small thread stack.
class NodeRef {
public:
    NodeRef() = default;
    explicit NodeRef(FolderNode* adopted) noexcept
        : m_node(adopted)
    {
    }
    NodeRef(const NodeRef& other) noexcept;
    NodeRef(NodeRef&& other) noexcept
        : m_node(other.m_node)
    {
        other.m_node = nullptr;
    }
    NodeRef& operator=(NodeRef other) noexcept
    {
        std::swap(m_node, other.m_node);
        return *this;
    }
    ~NodeRef() { releaseChain(m_node); }

    FolderNode* get() const { return m_node; }
    FolderNode& operator*() const { return *m_node; }
    FolderNode* operator->() const { return m_node; }
    explicit operator bool() const { return m_node != nullptr; }
    void reset() noexcept
    {
        releaseChain(m_node);
        m_node = nullptr;
    }

private:
    static void releaseChain(FolderNode* node) noexcept;
    FolderNode* m_node = nullptr;
};

// A folder found by the walk. It lives as long as anything inside it is still
// being removed; its parent is reached again by climbing, so it holds no
// descriptor, only what is needed to recognise the folder and to remove it.
struct FolderNode {
    FolderNode(NodeRef parentNode, std::string folderName, const EntryIdentity& folderIdentity)
        : depth(parentNode ? parentNode->depth + 1 : 0)
        , parent(std::move(parentNode))
        , name(std::move(folderName))
        , identity(folderIdentity)
    {
    }
    FolderNode(const FolderNode&) = delete;
    FolderNode& operator=(const FolderNode&) = delete;

    const std::size_t depth; // below the folder the removal started with
    NodeRef parent; // empty for the folder the removal started with
    const std::string name; // inside the parent
    const EntryIdentity identity;
    // The pass now reading it (until its last reader leaves) plus each folder
    // in it that is not yet removed; raised only by a reader of the pass.
    // Whoever brings it to 0 owns the node: it removes the folder, starts
    // another pass over it, or gives it up.
    std::atomic<int> pending { 1 };
    // Set when a pass shows an entry: a folder read again only while its
    // passes still find something.
    std::atomic<bool> passFoundEntries { false };
    int passes = 1; // touched only by the node's owner

    // Takes one off `pending` for the worker `by` and gives what is left; 0
    // makes `by` the node's owner.
    int releasePending(const void* by)
    {
        const int left = --pending;
        ENGINE_CHECK(left >= 0); // N1
        if (left == 0)
            m_owner.store(by, std::memory_order_relaxed);
        return left;
    }
    // Whether `by` brought `pending` to 0 and has not started another pass.
    bool isOwnedBy(const void* by) const
    {
        return pending.load() == 0 && m_owner.load(std::memory_order_relaxed) == by;
    }
    // The owner reads the folder once more: the new pass holds its 1 again.
    void beginPass(const void* by)
    {
        ENGINE_CHECK(isOwnedBy(by)); // N2
        ++passes;
        passFoundEntries = false;
        forgetSkipped();
        m_owner.store(nullptr, std::memory_order_relaxed);
        pending = 1;
    }

    // Failed only ever goes from false to true: there is no way back.
    void markFailed() { m_failed = true; }
    bool hasFailed() const { return m_failed.load(); }

    // Counts `count` more entries read from the folder; false once more than
    // `most` were read, all passes together.
    bool countEntriesRead(std::size_t count, std::size_t most)
    {
        return m_entriesRead.fetch_add(count, std::memory_order_relaxed) + count <= most;
    }

    // Folders inside that were finished but not removed (they failed, or
    // other workers are still busy below them). A pass read again from the
    // start after a climb back passes over them instead of walking them a
    // second time. Written only by the one worker that reads the folder while
    // its listing is not shared; read by the readers of that listing.
    void skip(const std::string& child)
    {
        if (!m_skipped)
            m_skipped = std::make_unique<std::vector<std::string>>();
        m_skipped->push_back(child);
    }
    bool isSkipped(const std::string& child) const
    {
        return m_skipped && std::find(m_skipped->begin(), m_skipped->end(), child) != m_skipped->end();
    }
    // A new pass starts after everything inside was finished: all of it may be
    // looked at again.
    void forgetSkipped() { m_skipped.reset(); }

    // The path from the folder the removal started with, for failure reports.
    std::string pathFromTop() const;

private:
    friend class NodeRef;
    std::atomic<long> m_references { 1 }; // the reference that makeNode hands out
    std::atomic<std::size_t> m_entriesRead { 0 };
    std::atomic<bool> m_failed { false };
    std::atomic<const void*> m_owner { nullptr }; // the worker that brought `pending` to 0
    std::unique_ptr<std::vector<std::string>> m_skipped; // rarely needed: kept small while empty
};

// A new node holding a reference to `parent`.
NodeRef makeNode(NodeRef parent, std::string name, const EntryIdentity& identity);

inline NodeRef::NodeRef(const NodeRef& other) noexcept
    : m_node(other.m_node)
{
    if (m_node)
        m_node->m_references.fetch_add(1, std::memory_order_relaxed);
}

} // namespace remover
