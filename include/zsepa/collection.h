#ifndef ZSEPA_COLLECTION_H_
#define ZSEPA_COLLECTION_H_

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "zsepa/error.h"

namespace zsepa {

// Keys of a Collection compare without regard to (ASCII) case.
std::string FoldKey(std::string_view key);

// An ordered collection with 1-based positions and optional text keys, the
// way the object model's lists behave: an index outside 1..Count raises
// run-time error 5, an unknown key error 5, a key already present error 457.
template <typename T>
class Collection {
 public:
  void Add(T item) { entries_.push_back({std::move(item), std::nullopt}); }

  void Add(T item, std::string_view key) {
    std::string folded = FoldKey(key);
    if (keys_.count(folded) != 0) rt::Raise(rt::kDuplicateKey);
    keys_.emplace(folded, item);
    entries_.push_back({std::move(item), std::move(folded)});
  }

  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  const T& Item(int32_t index) const { return entries_[Position(index)].item; }
  const T& Item(std::string_view key) const {
    auto it = keys_.find(FoldKey(key));
    if (it == keys_.end()) rt::Raise(rt::kInvalidArgument);
    return it->second;
  }

  void Remove(int32_t index) {
    const size_t position = Position(index);
    if (entries_[position].key) keys_.erase(*entries_[position].key);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  }

 private:
  struct Entry {
    T item;
    std::optional<std::string> key;
  };

 public:
  // Iterates the items in order.
  class const_iterator {
   public:
    explicit const_iterator(typename std::vector<Entry>::const_iterator it)
        : it_(it) {}
    const T& operator*() const { return it_->item; }
    const T* operator->() const { return &it_->item; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    typename std::vector<Entry>::const_iterator it_;
  };
  const_iterator begin() const { return const_iterator(entries_.begin()); }
  const_iterator end() const { return const_iterator(entries_.end()); }

 private:
  size_t Position(int32_t index) const {
    if (index < 1 || index > Count()) rt::Raise(rt::kInvalidArgument);
    return static_cast<size_t>(index - 1);
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, T> keys_;
};

}  // namespace zsepa

#endif  // ZSEPA_COLLECTION_H_
