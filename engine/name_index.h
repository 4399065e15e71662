#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace skorvatin {

// Names found by their exact bytes, for the checks of a batch of up to 32767 files: one
// open-addressing table, no allocation per name. It holds views: the names must outlive it.
class NameIndex {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  explicit NameIndex(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.resize(capacity);
  }

  // Files `name` under `value`, unless it is filed already: then the value it has is returned and
  // nothing changes; npos when it was added.
  std::size_t insert(std::string_view name, std::size_t value) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    Slot& slot = slotOf(name);
    if (slot.value != npos) return slot.value;
    slot = {name, value};
    ++used_;
    return npos;
  }

  // The value filed under `name`, or npos.
  std::size_t find(std::string_view name) const { return const_cast<NameIndex*>(this)->slotOf(name).value; }

 private:
  struct Slot {
    std::string_view name;
    std::size_t value = npos;
  };

  Slot& slotOf(std::string_view name) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = std::hash<std::string_view>{}(name) & mask;
    while (slots_[at].value != npos && slots_[at].name != name) at = (at + 1) & mask;
    return slots_[at];
  }

  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.value != npos) slotOf(s.name) = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace skorvatin
