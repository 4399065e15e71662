#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace skorvatin {

// Names found by their exact bytes, for the checks of a batch of up to 32767 files: one
// open-addressing table of 32-bit indices, no allocation per name. The names stay where the caller
// keeps them; `nameOf(i)` gives the name filed as index i.
template <class NameOf>
class NameIndex {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  NameIndex(std::size_t expected, NameOf nameOf) : nameOf_(std::move(nameOf)) {
    std::size_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.assign(capacity, 0);
  }

  // Files index `i` under its name, unless that name is filed already: then the index filed under
  // it is returned and nothing changes; npos when it was added.
  std::size_t insert(std::size_t i) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    std::uint32_t& slot = slotOf(nameOf_(i));
    if (slot != 0) return slot - 1;
    slot = static_cast<std::uint32_t>(i + 1);
    ++used_;
    return npos;
  }

  // The index filed under `name`, or npos.
  std::size_t find(std::string_view name) const {
    const std::uint32_t slot = const_cast<NameIndex*>(this)->slotOf(name);
    return slot == 0 ? npos : slot - 1;
  }

 private:
  std::uint32_t& slotOf(std::string_view name) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = std::hash<std::string_view>{}(name)&mask;
    while (slots_[at] != 0 && nameOf_(slots_[at] - 1) != name) at = (at + 1) & mask;
    return slots_[at];
  }

  void grow() {
    std::vector<std::uint32_t> old(2 * slots_.size(), 0);
    old.swap(slots_);
    for (const std::uint32_t filed : old) {
      if (filed != 0) slotOf(nameOf_(filed - 1)) = filed;
    }
  }

  NameOf nameOf_;
  std::vector<std::uint32_t> slots_;
  std::size_t used_ = 0;
};

}  // namespace skorvatin
