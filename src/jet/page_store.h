// Pages as the writing codecs see them: read, change, allocate and free.
//
// The index, long-value and table writers work through this interface, never
// through the file: the store behind it holds the changes in memory, journals
// them and takes new pages from the file's free-page map. A test can put a
// store of plain memory in its place.
#pragma once

#include <cstdint>

#include "jet/layout.h"
#include "jet/page_file.h"

namespace jet {

// Pages that can be read, changed, allocated and freed within one statement.
class PageStore : public PageSource {
 public:
  // The layout of the file's format (page size included).
  virtual const Layout& FileLayout() const = 0;
  uint32_t PageSize() const { return FileLayout().page_size; }

  // Page `page` as it stands, changes of the running statement included.
  PageBuffer Read(uint32_t page) override = 0;

  // Page `page`'s bytes for changing in place. The pointer stays valid until
  // the statement ends; a PageBuffer taken from Read before the change keeps
  // the old bytes (pages are copied on write), so read the page again after
  // changing it.
  virtual uint8_t* Modify(uint32_t page) = 0;

  // A page for new use, all zeros, taken from the free-page map or appended to
  // the file. Its contents are the caller's to write (through Modify).
  virtual uint32_t AllocatePage() = 0;

  // Returns a page that no longer holds anything to the free-page map.
  virtual void FreePage(uint32_t page) = 0;
};

}  // namespace jet
