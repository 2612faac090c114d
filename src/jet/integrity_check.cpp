#include "jet/integrity_check.h"

#include <algorithm>
#include <string_view>

#include "jet/data_page.h"
#include "jet/error.h"
#include "jet/table_definition.h"
#include "jet/usage_map.h"

namespace jet {
namespace {

constexpr int32_t kRootContainer = 0x0F000000;
constexpr RowPointer kFreePageMap{1, 0};
constexpr uint32_t kCataloguePage = 2;

// A failure found while checking, already in the user's words.
struct Damage {
  std::string what;
};

// The message of a reader's failure without its "The database file is
// damaged: " lead, which the check's own message adds once.
std::string Cause(const JetError& e) {
  constexpr std::string_view kLead = "The database file is damaged: ";
  std::string_view text = e.what();
  if (text.substr(0, kLead.size()) == kLead) text.remove_prefix(kLead.size());
  return std::string(text);
}

class Checker {
 public:
  Checker(PageSource& file, const Header& header) : file_(file), jet3_(header.IsJet3()) {}

  // The free-page list; pages it lists past the end of the file are simply
  // not there (see UsageMap::PastEnd::kEndsMap).
  void ReadFreePages() {
    free_.assign(file_.PageCount(), false);
    try {
      UsageMap pages(file_, jet3_, kFreePageMap, UsageMap::PastEnd::kEndsMap);
      while (std::optional<uint32_t> p = pages.Next()) free_[*p] = true;
    } catch (const JetError& e) {
      Fail("the list of free pages cannot be read (" + Cause(e) + ")");
    }
  }

  void CheckTable(const CatalogueEntry& table, const Header& header) {
    const std::string name = "table '" + table.name + "'";
    const uint32_t first = table.DefinitionPage();
    if (first < 2 || first >= file_.PageCount())
      Fail(name + " is defined on page " + std::to_string(first) + ", " + Where(first));
    TableDefinition def;
    try {
      def = ReadTableDefinition(file_, header, first);
    } catch (const JetError& e) {
      Fail("the definition of " + name + " cannot be read (" + Cause(e) + ")");
    }
    for (uint32_t p : def.chain) InUse(p, "the definition of " + name);
    const bool catalogue = first == kCataloguePage;
    Follow("the pages of " + name, def.owned_pages, UsageMap::PastEnd::kDamage, [&](uint32_t p) {
      InUse(p, "a page of " + name);
      if (catalogue) CheckCataloguePage(p);
    });
    Follow("the pages with room of " + name, def.free_pages, UsageMap::PastEnd::kDamage,
           [](uint32_t) {});
    for (const LongValueMaps& m : def.long_value_maps) {
      const std::string what = "the long values of " + name;
      Follow(what, m.owned_pages, UsageMap::PastEnd::kDamage,
             [&](uint32_t p) { InUse(p, "a page of " + what); });
      Follow(what, m.free_pages, UsageMap::PastEnd::kDamage, [](uint32_t) {});
    }
    for (const RealIndex& index : def.real_indexes) {
      const std::string what = "an index of " + name;
      if (index.root_page != 0) {
        if (index.root_page >= file_.PageCount())
          Fail(what + " starts on page " + std::to_string(index.root_page) + ", " +
               Where(index.root_page));
        InUse(index.root_page, what);
        PageBuffer root = file_.Read(index.root_page);
        const uint8_t type = View(root).U8(0);
        if (type != 0x03 && type != 0x04)
          Fail(what + " starts on page " + std::to_string(index.root_page) +
               ", which holds no index");
      }
      Follow(what, index.usage_map, UsageMap::PastEnd::kDamage,
             [&](uint32_t p) { InUse(p, "a page of " + what); });
    }
  }

  [[noreturn]] static void Fail(const std::string& what) { throw Damage{what}; }

 private:
  std::string Where(uint32_t page) const {
    return page >= file_.PageCount()
               ? "past the end of the file (" + std::to_string(file_.PageCount()) + " pages)"
               : "which cannot hold it";
  }

  // A page something still uses must not be on the free list: the next write
  // would hand it out again.
  void InUse(uint32_t page, const std::string& what) {
    if (page >= file_.PageCount())
      Fail(what + " is on page " + std::to_string(page) + ", " + Where(page));
    if (free_[page])
      Fail(what + " is on page " + std::to_string(page) +
           ", which the file lists as free for reuse");
  }

  // The catalogue's rows are what every write reads and changes first.
  void CheckCataloguePage(uint32_t page) {
    PageBuffer b = file_.Read(page);
    ByteView v = View(b);
    if (v.U8(0) != 0x01 || v.U32(4) != kCataloguePage)
      Fail("page " + std::to_string(page) + " of the catalogue holds no catalogue rows");
  }

  template <typename Visit>
  void Follow(const std::string& what, RowPointer map, UsageMap::PastEnd past_end, Visit&& visit) {
    if (map.IsNull()) return;
    if (map.page >= file_.PageCount())
      Fail("the list of " + what + " is on page " + std::to_string(map.page) + ", " +
           Where(map.page));
    try {
      UsageMap pages(file_, jet3_, map, past_end);
      while (std::optional<uint32_t> p = pages.Next()) visit(*p);
    } catch (const JetError& e) {
      Fail("the list of " + what + " cannot be followed (" + Cause(e) + ")");
    }
  }

  PageSource& file_;
  bool jet3_;
  std::vector<bool> free_;
};

}  // namespace

std::string FindDamageForWriting(PageSource& file, uint64_t file_bytes, const Header& header,
                                 const std::vector<CatalogueEntry>& catalogue) {
  try {
    if (file_bytes % header.page_size != 0)
      Checker::Fail("its length (" + std::to_string(file_bytes) +
                    " bytes) is not a whole number of pages; it may have been cut short");
    bool tables = false, aces = false;
    for (const CatalogueEntry& e : catalogue) {
      if (e.parent_id == kRootContainer && e.name == "Tables") tables = true;
      if (e.name == "MSysACEs" && (e.type & 0x7F) == 1) aces = true;
    }
    if (!tables) Checker::Fail("the catalogue has lost the container that lists its tables");
    if (!aces) Checker::Fail("the catalogue has lost its table of permissions");
    Checker checker(file, header);
    checker.ReadFreePages();
    bool catalogue_seen = false;
    for (const CatalogueEntry& e : catalogue) {
      if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
      if ((e.type & 0x7F) != 1) continue;
      catalogue_seen = catalogue_seen || e.DefinitionPage() == kCataloguePage;
      checker.CheckTable(e, header);
    }
    if (!catalogue_seen) {
      CatalogueEntry self;
      self.id = kCataloguePage;
      self.name = "MSysObjects";
      checker.CheckTable(self, header);
    }
  } catch (const Damage& d) {
    return d.what;
  } catch (const JetError& e) {
    return Cause(e);
  }
  return {};
}

}  // namespace jet
