#pragma once
// A small map that iterates in insertion order, for the PDF writer's per-document maps (fonts, link
// targets, outline levels, page annotations): the order decides the order of entries in the file, so
// it must not depend on hashing. Single thread; plain value type.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace folvex {

template <typename Value>
class InsertionOrderedMap
{
public:
    using Entry = std::pair<std::string, Value>;

    // The value of key, or nullptr. The pointer is valid until the next insertion.
    Value* find(const std::string& key)
    {
        const auto found = m_index.find(key);
        return found == m_index.end() ? nullptr : &m_entries[found->second].second;
    }

    const Value* find(const std::string& key) const
    {
        const auto found = m_index.find(key);
        return found == m_index.end() ? nullptr : &m_entries[found->second].second;
    }

    bool contains(const std::string& key) const { return m_index.count(key) != 0; }

    // Adds key with a default value when it is absent; true when it was added.
    std::pair<Value*, bool> insert(const std::string& key)
    {
        const auto [position, added] = m_index.try_emplace(key, m_entries.size());
        if (added) {
            m_entries.emplace_back(key, Value{});
        }
        return {&m_entries[position->second].second, added};
    }

    Value& operator[](const std::string& key) { return *insert(key).first; }

    std::size_t size() const { return m_entries.size(); }

    bool empty() const { return m_entries.empty(); }

    auto begin() { return m_entries.begin(); }

    auto end() { return m_entries.end(); }

    auto begin() const { return m_entries.begin(); }

    auto end() const { return m_entries.end(); }

private:
    std::vector<Entry> m_entries;
    std::unordered_map<std::string, std::size_t> m_index;
};

} // namespace folvex
