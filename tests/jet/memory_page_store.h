// A page store of plain memory for codec tests.
//
// It behaves as the file's store does where the codecs can tell: pages are
// copied on write, new pages come zeroed, a freed page is handed out again
// before the store grows, and reading a page that was never allocated is the
// same damaged-file error. It has no journal and no file behind it.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "jet/error.h"
#include "jet/page_store.h"

namespace jet::testing {

class MemoryPageStore : public PageStore {
 public:
  explicit MemoryPageStore(const Layout& layout, uint32_t first_free_page = 1)
      : layout_(layout), next_page_(first_free_page) {}

  const Layout& FileLayout() const override { return layout_; }
  uint32_t PageCount() const override { return next_page_; }

  PageBuffer Read(uint32_t page) override {
    auto it = pages_.find(page);
    if (it == pages_.end())
      ThrowCorrupt("page " + std::to_string(page) + " lies beyond the end of the file");
    return it->second;
  }

  uint8_t* Modify(uint32_t page) override {
    auto it = pages_.find(page);
    if (it == pages_.end())
      ThrowCorrupt("page " + std::to_string(page) + " lies beyond the end of the file");
    if (it->second.use_count() > 1)
      it->second = std::make_shared<std::vector<uint8_t>>(*it->second);
    return it->second->data();
  }

  uint32_t AllocatePage() override {
    uint32_t page;
    if (!free_.empty()) {
      page = *free_.begin();
      free_.erase(free_.begin());
    } else {
      page = next_page_++;
    }
    pages_[page] = std::make_shared<std::vector<uint8_t>>(layout_.page_size, 0);
    ++allocations_;
    return page;
  }

  void FreePage(uint32_t page) override {
    if (pages_.erase(page) == 0) ThrowCorrupt("page " + std::to_string(page) + " is freed twice");
    free_.insert(page);
  }

  // Puts page `page` with `bytes` into the store (test set-up).
  void Put(uint32_t page, std::vector<uint8_t> bytes) {
    bytes.resize(layout_.page_size, 0);
    pages_[page] = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    next_page_ = std::max(next_page_, page + 1);
  }

  // Pages currently in use, and allocations made so far.
  size_t LivePages() const { return pages_.size(); }
  size_t Allocations() const { return allocations_; }

 private:
  std::map<uint32_t, std::shared_ptr<std::vector<uint8_t>>> pages_;
  std::set<uint32_t> free_;
  Layout layout_;
  uint32_t next_page_;
  size_t allocations_ = 0;
};

}  // namespace jet::testing
