// Keyed collection with the behaviour the editor's document relies on: entries keep their
// insertion order, a duplicate key is an error, and removing then adding a key again moves the
// entry to the end. Keys compare exactly. Entries are shared so that the internal clipboard
// can keep an item that was removed from the document.
#pragma once

#include "editor/model/editor_error.h"

#include <cstddef>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

template <class T>
class KeyedCollection {
public:
    using Ptr = std::shared_ptr<T>;
    struct Entry {
        std::string key;
        Ptr value;
    };
    using const_iterator = typename std::list<Entry>::const_iterator;

    // Raises editor_err::kCollectionKey when the key is taken; the collection is unchanged then.
    void add(const std::string& key, Ptr value)
    {
        if (mIndex.count(key))
            editor_err::raise(editor_err::kCollectionKey);
        mEntries.push_back(Entry{key, std::move(value)});
        mIndex.emplace(key, std::prev(mEntries.end()));
    }

    // Raises editor_err::kInvalidCall when the key is not there.
    void remove(const std::string& key)
    {
        auto it = mIndex.find(key);
        if (it == mIndex.end())
            editor_err::raise(editor_err::kInvalidCall);
        mEntries.erase(it->second);
        mIndex.erase(it);
    }

    // Raises editor_err::kInvalidCall when the key is not there.
    const Ptr& item(const std::string& key) const
    {
        auto it = mIndex.find(key);
        if (it == mIndex.end())
            editor_err::raise(editor_err::kInvalidCall);
        return it->second->value;
    }

    // nullptr when absent; never raises.
    Ptr find(const std::string& key) const
    {
        auto it = mIndex.find(key);
        return it == mIndex.end() ? Ptr{} : it->second->value;
    }

    bool contains(const std::string& key) const { return mIndex.count(key) != 0; }
    std::size_t count() const { return mEntries.size(); }
    bool empty() const { return mEntries.empty(); }
    // The most recently added entry; raises editor_err::kInvalidCall when empty.
    const Ptr& last() const
    {
        if (mEntries.empty())
            editor_err::raise(editor_err::kInvalidCall);
        return mEntries.back().value;
    }
    void clear()
    {
        mIndex.clear();
        mEntries.clear();
    }

    const_iterator begin() const { return mEntries.begin(); }
    const_iterator end() const { return mEntries.end(); }

private:
    std::list<Entry> mEntries;
    std::unordered_map<std::string, typename std::list<Entry>::iterator> mIndex;
};
