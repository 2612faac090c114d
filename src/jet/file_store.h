// The page store of an open database file: pages come from the PageFile (so
// changes are held, journalled and rolled back there) and are allocated and
// freed through the file's free-page map.
#pragma once

#include "jet/layout.h"
#include "jet/page_file.h"
#include "jet/page_store.h"
#include "jet/usage_map_writer.h"

namespace jet {

// A PageStore over a writable PageFile.
class FileStore : public PageStore {
 public:
  FileStore(PageFile& file, const Layout& layout)
      : file_(file), layout_(layout), free_pages_(file, *this) {}

  const Layout& FileLayout() const override { return layout_; }
  uint32_t PageCount() const override { return file_.PageCount(); }
  PageBuffer Read(uint32_t page) override { return file_.Read(page); }
  uint8_t* Modify(uint32_t page) override { return file_.Modify(page); }
  uint32_t AllocatePage() override { return free_pages_.Allocate(); }
  void FreePage(uint32_t page) override { free_pages_.Free(page); }

 private:
  PageFile& file_;
  const Layout& layout_;
  FreePageMap free_pages_;
};

}  // namespace jet
