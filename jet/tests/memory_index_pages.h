// Index pages held in memory for the B-tree tests: an empty root leaf at
// page 9 of the table whose definition is page 7; new pages from 100 on.
// expectTree checks the tree they hold against a model.
#pragma once

#include "check/index_check.h"
#include "index/index_page.h"
#include "index/index_tree.h"

#include "jet/status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace indextest {

constexpr uint32_t kTdef = 7;
constexpr uint32_t kRoot = 9;

class MemoryPages : public jet::detail::IndexPageStore {
public:
    MemoryPages()
    {
        jet::detail::IndexPage root;
        root.number = kRoot;
        root.tdefPage = kTdef;
        std::vector<uint8_t> bytes(4096);
        jet::detail::encodeIndexPage(root, 4096, bytes.data());
        pages_[kRoot] = bytes;
    }
    uint32_t pageSize() const override { return 4096; }
    const uint8_t* read(uint32_t page) override
    {
        auto it = pages_.find(page);
        if (it == pages_.end())
            throw jet::Error(jet::Code::Corrupt, "page " + std::to_string(page) + " absente");
        return it->second.data();
    }
    void write(uint32_t page, const uint8_t* bytes) override
    {
        ASSERT_TRUE(pages_.count(page)) << page;
        pages_[page].assign(bytes, bytes + 4096);
    }
    uint32_t allocate() override
    {
        uint32_t n = next_++;
        pages_[n] = std::vector<uint8_t>(4096, 0);
        ++allocated;
        return n;
    }
    void release(uint32_t page) override
    {
        ASSERT_TRUE(pages_.count(page)) << page;
        pages_.erase(page);
        ++released;
    }
    size_t pageCount() const { return pages_.size(); }
    std::vector<uint32_t> numbers() const
    {
        std::vector<uint32_t> out;
        for (const auto& [n, bytes] : pages_)
            out.push_back(n);
        return out;
    }
    int allocated = 0, released = 0;

private:
    std::map<uint32_t, std::vector<uint8_t>> pages_;
    uint32_t next_ = 100;
};

// The tree holds exactly `model` (sorted here), in a valid structure.
inline void expectTree(MemoryPages& pages, std::vector<jet::detail::IndexEntry> model)
{
    using jet::detail::IndexEntry;
    std::sort(model.begin(), model.end(),
              [](const IndexEntry& a, const IndexEntry& b) { return jet::detail::compareIndexEntries(a, b) < 0; });
    std::vector<IndexEntry> entries;
    std::vector<std::string> problems = jet::detail::checkTreeStructure(pages, kRoot, kTdef, &entries);
    std::string all;
    for (const auto& p : problems)
        all += "\n  " + p;
    ASSERT_TRUE(problems.empty()) << all;
    ASSERT_EQ(entries.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(jet::detail::compareIndexEntries(entries[i], model[i]), 0) << i;
}

} // namespace indextest
