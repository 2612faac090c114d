// New, empty databases, built page by page with the engine's own writers.
//
// Page 0 (header; bytes 0x18..0x97 are stored XOR-ed with RC4(C7 DA 39 6B)):
//
//   0x00  00 01 00 00, then "Standard Jet DB" / "Standard ACE DB" and a NUL
//   0x14  version: 01 Jet4 (Access 2000-2003), 02 ACE 12 (Access 2007-2016)
//   0x18  00 01 00 00 01 01 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00
//         (the same in every Access-made file; meaning unknown, written as found)
//   0x3C  u16 code page 1252
//   0x3E  u32 page key 0: pages are stored plain
//   0x42  40 bytes: the password as UCS-2, NUL-padded, each byte XOR-ed with
//         byte (i mod 4) of the creation date truncated to an int32 (no
//         password: the bare mask)
//   0x6A  1C 26 00 00, see below
//   0x6E  u16 sort order 0x0409, u8 0, u8 version 0 ("General Legacy")
//   0x72  f64 creation date (days since 1899-12-30), see below
//   0x98  54 06 00 00 "4.0" NUL (outside the mask, in every sample)
//   0xE00 256 x u16: 0x0101, then 0x0100 (in every sample; meaning unknown)
//
// Page 1 is a data page owned by page 1 with two 69-byte rows: row 0 the
// file's free-page map (inline, window from page 0; a set bit is a free page,
// so every page past the end is set), row 1 zeros. Pages 2 on hold the system
// tables' definitions (the catalogue on page 2, MSysACEs on page 3), their
// usage-map rows, index roots and data pages, allocated through the file's
// free-page map as any later write allocates them.
//
// Access 97 files follow the same plan on 2 KB pages, with Jet3's header
// (Jet3HeaderPage below), 133-byte map rows, code-page text, descriptors in
// column order and the system tables as an Access 97 file holds them
// (new_database_layout.cpp); their match is checked against an Access 97 file.
//
// What is matched against the empty files Access and Jet make (checked table
// by table, column by column and index by index in tests/jet/create_test.cpp):
//
//   * the engine's system tables MSysObjects, MSysACEs, MSysQueries and
//     MSysRelationships, and for ACE 12 MSysComplexColumns and the nine
//     MSysComplexType_* tables: every column with its number, type, length,
//     flags and descriptor order (by name), the fixed offsets and variable
//     slots, every real index (columns, flags) and logical index (name,
//     number, primary key); table types 0x53 / 0x4E and catalogue flags;
//   * the catalogue objects: the Tables, Databases and Relationships
//     containers, MSysDb, the system tables, and the containers of Access's
//     own objects (DataAccessPages, Forms, Modules, Reports, Scripts, SysRel)
//     with ids from 0x80000000;
//   * the permissions a file made by the Jet engine itself (ADOX) holds on
//     the containers, MSysDb and the system tables, plus those Access-made
//     files hold on the UI containers, and full rights for Admin on Tables,
//     so new tables get them (see catalogue_writer.h);
//   * MSysDb's property AccessVersion: 08.50 for Access 2000, 09.50 for
//     2002-2003 and 2007, which is how Access tells the two Jet4 versions
//     apart.
//
// What is left out, and why:
//
//   * Access's own tables (MSysAccessObjects in 2000 files; MSysAccessStorage,
//     MSysNavPane* and MSysResources in later ones) and the property objects
//     AccessLayout, SummaryInfo and UserDefined: they hold Access's window
//     and navigation state in undocumented blobs, a file made by the Jet
//     engine has none of them, and Access adds them the first time it opens
//     the file. The MSysDb property Build (an Access build number) likewise.
//   * The workgroup-specific Admins group SID (102 bytes) Access-made files
//     grant rights to: it belongs to one workgroup file; the short SIDs
//     (Admin, Users, the creator and the engine) stand for the built-in
//     accounts.
//   * A fresh creation date and a random value at 0x6A. The SIDs are stored
//     masked with a key that follows the header's creation date, time of day
//     included (files of one day but made at different times hold different
//     bytes, all SIDs of a file differing from another's by one XOR
//     constant), by a rule documented nowhere we know of. So a new file keeps
//     the creation date and the 0x6A bytes of the Jet-made file its SIDs come
//     from (2015-11-20 22:40), and its SIDs mean for Access what they meant
//     there. The password mask follows that date too. The catalogue's own
//     DateCreate and DateUpdate are the real time of creation. ACE 12 files
//     get the same SIDs and header bytes: Access 2007 files have no user-level
//     security that would read them.
//   * The LCID 0x0409 Access also writes into the descriptors of non-text
//     columns (no reader looks at it there), and the page numbers of the
//     index roots and usage maps, which follow from the order pages are
//     allocated in here.
//
// A password on an ACE 12 file exists only as whole-file encryption: a new
// .accdb with a password is made plain, then encrypted as Access 2010 and
// later encrypt (agile, AES-256 and SHA-512) before it is moved into place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "jet/catalogue_writer.h"
#include "jet/code_page_tables.h"
#include "jet/column_types.h"
#include "jet/data_page_writer.h"
#include "jet/database.h"
#include "jet/file_store.h"
#include "jet/index_tree.h"
#include "jet/office_crypto.h"
#include "jet/text_codec.h"
#include "jet/usage_map_writer.h"

namespace jet {
namespace {

constexpr size_t kMaskedStart = 0x18;
constexpr size_t kPasswordField = 0x42;
constexpr size_t kPasswordBytes = 40;
// Access 97: the password takes 20 bytes of the code page, unmasked by a date.
constexpr size_t kJet3PasswordBytes = 20;
// Later formats keep text as Unicode; their header names 1252 all the same.
constexpr uint16_t kUnicodeFileCodePage = 1252;

const Layout& LayoutOf(NewFormat format) {
  return LayoutFor(format == NewFormat::kAccess97);
}

// The creation date the header carries: the one of the Jet-made file whose
// SIDs new files hold (see above), bit for bit.
double HeaderCreationDate() {
  const uint8_t bytes[8] = {0x3E, 0x85, 0xD3, 0x3B, 0x3E, 0xAB, 0xE4, 0x40};
  double date;
  std::memcpy(&date, bytes, 8);
  return date;
}

// Now, as Access stores dates: local time in days since 1899-12-30.
double Now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return (static_cast<double>(t) + static_cast<double>(local.tm_gmtoff)) / 86400.0 + 25569.0;
}

void Put16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

// Page 0 of an Access 97 file: as above up to the code page, with the sort
// order 0x0409 at 0x3A, the password as code-page bytes at 0x42 (20 bytes, no
// date mask), no creation date, and the u16 table at 0x600; 126 bytes masked.
std::vector<uint8_t> Jet3HeaderPage(const std::vector<uint8_t>& password, uint16_t code_page) {
  const uint32_t page_size = Jet3Layout().page_size;
  std::vector<uint8_t> p(page_size, 0);
  p[1] = 0x01;
  std::memcpy(p.data() + 4, "Standard Jet DB", 15);
  p[0x14] = 0x00;
  const uint8_t fixed[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                           0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(p.data() + kMaskedStart, fixed, sizeof fixed);
  Put16(p.data() + 0x3A, 0x0409);
  Put16(p.data() + 0x3C, code_page);
  if (!password.empty()) std::memcpy(p.data() + kPasswordField, password.data(), password.size());
  Put16(p.data() + 0x600, 0x0101);
  for (size_t at = 0x602; at < page_size; at += 2) Put16(p.data() + at, 0x0100);
  UnmaskHeader(p.data(), p.size(), true);
  return p;
}

// Page 0, laid out as above and masked.
std::vector<uint8_t> HeaderPage(NewFormat format, const std::vector<uint16_t>& password) {
  const double created = HeaderCreationDate();
  const uint32_t page_size = LayoutOf(format).page_size;
  std::vector<uint8_t> p(page_size, 0);
  const bool ace = format == NewFormat::kAccess2007;
  p[1] = 0x01;
  std::memcpy(p.data() + 4, ace ? "Standard ACE DB" : "Standard Jet DB", 15);
  p[0x14] = ace ? 0x02 : 0x01;
  const uint8_t fixed[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                           0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(p.data() + kMaskedStart, fixed, sizeof fixed);
  Put16(p.data() + 0x3C, kUnicodeFileCodePage);
  const uint32_t mask = static_cast<uint32_t>(static_cast<int32_t>(std::trunc(created)));
  for (size_t i = 0; i < kPasswordBytes; ++i) {
    uint8_t plain = 0;
    if (i / 2 < password.size()) plain = static_cast<uint8_t>(password[i / 2] >> (8 * (i % 2)));
    p[kPasswordField + i] = static_cast<uint8_t>(plain ^ (mask >> (8 * (i % 4))));
  }
  p[0x6A] = 0x1C;
  p[0x6B] = 0x26;
  Put16(p.data() + 0x6E, 0x0409);
  std::memcpy(p.data() + 0x72, &created, 8);
  const uint8_t tail[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
  std::memcpy(p.data() + 0x98, tail, sizeof tail);
  Put16(p.data() + 0xE00, 0x0101);
  for (size_t at = 0xE02; at < page_size; at += 2) Put16(p.data() + at, 0x0100);
  UnmaskHeader(p.data(), p.size(), false);  // the mask is an XOR: the same pass applies it
  return p;
}

// Page 1: the free-page map, all pages from 2 on free (they are past the end).
std::vector<uint8_t> FreeMapPage(const Layout& l) {
  std::vector<uint8_t> p(l.page_size, 0);
  InitDataPage(p.data(), l, 1);
  std::vector<uint8_t> row(l.InlineMapRowLength());
  InitUsageMapRow(row.data(), row.size(), 0, 0);
  std::memset(row.data() + 5, 0xFF, row.size() - 5);
  row[5] = 0xFC;  // pages 0 and 1 are in use
  AddRowToPage(p.data(), l, ByteView(row.data(), row.size()));
  std::vector<uint8_t> spare(row.size(), 0);
  AddRowToPage(p.data(), l, ByteView(spare.data(), spare.size()));
  return p;
}

// Hands out usage-map rows on map pages of their own, a new page when one is full.
class MapRows {
 public:
  explicit MapRows(PageStore& store) : store_(store) {}

  RowPointer Next() {
    std::vector<uint8_t> row(store_.FileLayout().InlineMapRowLength());
    InitUsageMapRow(row.data(), row.size(), 0, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (page_ == 0) {
        page_ = store_.AllocatePage();
        InitDataPage(store_.Modify(page_), store_.FileLayout(), 0);
      }
      int slot =
          AddRowToPage(store_.Modify(page_), store_.FileLayout(), ByteView(row.data(), row.size()));
      if (slot >= 0) return RowPointer{page_, static_cast<uint8_t>(slot)};
      page_ = 0;
    }
    throw std::logic_error("a fresh map page takes no map row");
  }

 private:
  PageStore& store_;
  uint32_t page_ = 0;
};

// The definition of `table` on `page`, its maps and empty index roots made.
// `code_page` is the one Access 97 text is kept in.
TableDefinition BuildDefinition(PageStore& store, MapRows& maps, const SystemTable& table,
                                uint32_t page, uint16_t code_page) {
  TableDefinition def;
  def.page = page;
  def.chain = {page};
  def.table_type = table.table_type;
  uint16_t fixed_offset = 0, var_index = 0;
  for (size_t k = 0; k < table.columns.size(); ++k) {
    const SystemColumn& s = table.columns[k];
    Column c;
    c.name = s.name;
    c.type = s.type;
    c.number = static_cast<uint16_t>(k);
    c.flags = s.flags;
    c.extra_flags = s.extra_flags;
    c.length = s.length;
    c.precision = s.precision;
    c.scale = s.scale;
    if (c.type == kText || c.type == kMemo) {
      c.sort_lcid = 0x0409;
      if (!store.FileLayout().unicode_text) c.code_page = code_page;
    }
    if (c.IsFixed()) {
      // Access gives a fixed column the slot the next variable column takes.
      c.var_index = var_index;
      if (c.type != kBool) {
        c.fixed_offset = fixed_offset;
        fixed_offset = static_cast<uint16_t>(fixed_offset + c.length);
      }
    } else {
      c.var_index = var_index++;
    }
    def.columns.push_back(std::move(c));
  }
  // Descriptors sorted by name, as Access 2000 on stores them (Access 97
  // keeps them in column order).
  std::vector<size_t> order(def.columns.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  if (store.FileLayout().unicode_text)
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return UpperCaseName(def.columns[a].name) < UpperCaseName(def.columns[b].name);
    });
  else
    def.text_code_page = code_page;
  for (size_t k = 0; k < order.size(); ++k)
    def.columns[order[k]].descriptor_index = static_cast<uint16_t>(k);
  def.max_columns = static_cast<uint16_t>(def.columns.size());
  def.variable_columns = var_index;

  def.owned_pages = maps.Next();
  def.free_pages = maps.Next();
  for (const Column& c : def.columns) {
    if (c.type != kMemo && c.type != kOle) continue;
    LongValueMaps lv;
    lv.column_number = c.number;
    lv.owned_pages = maps.Next();
    lv.free_pages = maps.Next();
    def.long_value_maps.push_back(lv);
  }
  // Long-value maps listed by column name, as Access lists them (in Access
  // 2000 on that is the descriptors' order too).
  std::sort(def.long_value_maps.begin(), def.long_value_maps.end(),
            [&](const LongValueMaps& a, const LongValueMaps& b) {
              return UpperCaseName(def.columns[a.column_number].name) <
                     UpperCaseName(def.columns[b.column_number].name);
            });
  for (size_t k = 0; k < table.indexes.size(); ++k) {
    const SystemIndex& s = table.indexes[k];
    RealIndex index;
    for (uint16_t n : s.columns) index.columns.push_back(IndexColumn{n, true});
    index.flags = s.flags;
    index.root_page = store.AllocatePage();
    IndexTree::WriteEmptyRoot(store, index.root_page, page);
    index.usage_map = maps.Next();
    UsageMapEditor(store, index.usage_map).Add(index.root_page);
    def.real_indexes.push_back(index);
    LogicalIndex logical;
    logical.name = s.name;
    logical.number = static_cast<uint32_t>(k);
    logical.real_index = static_cast<uint32_t>(k);
    logical.kind = s.kind;
    def.logical_indexes.push_back(logical);
  }
  // Logical indexes listed by name, as Access lists them.
  std::sort(def.logical_indexes.begin(), def.logical_indexes.end(),
            [](const LogicalIndex& a, const LogicalIndex& b) {
              return UpperCaseName(a.name) < UpperCaseName(b.name);
            });
  WriteDefinition(store, def, EncodeDefinition(def, store.FileLayout()));
  return def;
}

int ColumnOf(const TableDefinition& def, const char* name) {
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (def.columns[k].name == name) return static_cast<int>(k);
  throw std::logic_error(std::string("system table lacks column ") + name);
}

// Writes every page of a new database into the writable, empty `file`.
void FillDatabase(PageFile& file, NewFormat format, double created, uint16_t code_page) {
  FileStore store(file, LayoutOf(format));
  Header header;
  header.format = format == NewFormat::kAccess2007 ? Format::kAce
                  : format == NewFormat::kAccess97 ? Format::kJet3
                                                   : Format::kJet4;
  header.version = format == NewFormat::kAccess2007 ? 2 : format == NewFormat::kAccess97 ? 0 : 1;
  header.page_size = LayoutOf(format).page_size;
  header.code_page = code_page;

  const std::vector<SystemTable> tables = SystemTablesFor(format);
  // The definitions first, so the catalogue is on page 2 and MSysACEs on page 3.
  std::vector<uint32_t> pages;
  for (size_t k = 0; k < tables.size(); ++k) pages.push_back(store.AllocatePage());
  if (pages[0] != 2 || pages[1] != 3)
    throw std::logic_error("a new file's first pages were not handed out in order");
  MapRows maps(store);
  for (size_t k = 0; k < tables.size(); ++k)
    BuildDefinition(store, maps, tables[k], pages[k], code_page);

  auto objects = [&] { return ReadTableDefinition(store, header, pages[0]); };
  TableDefinition def = objects();
  const int id = ColumnOf(def, "Id"), parent = ColumnOf(def, "ParentId"),
            name = ColumnOf(def, "Name"), type = ColumnOf(def, "Type"),
            date_create = ColumnOf(def, "DateCreate"), date_update = ColumnOf(def, "DateUpdate"),
            owner = ColumnOf(def, "Owner"), flags = ColumnOf(def, "Flags"),
            properties = ColumnOf(def, "LvProp");
  auto add_object = [&](int32_t object_id, int32_t parent_id, const std::string& object_name,
                        int16_t object_type, uint32_t object_flags, const Binary* sid) {
    std::vector<Value> row(def.columns.size());
    row[id] = int64_t{object_id};
    row[parent] = int64_t{parent_id};
    row[name] = object_name;
    row[type] = int64_t{object_type};
    row[date_create] = OleDate{created};
    row[date_update] = OleDate{created};
    if (sid) row[owner] = *sid;
    row[flags] = int64_t{static_cast<int32_t>(object_flags)};
    if (object_name == "MSysDb" && object_type == 2) row[properties] = DatabaseProperties(format);
    InsertIndexedRow(store, header, def, row);
    def = objects();
  };
  const Binary engine = EngineOwner(), admin = DatabaseOwner();
  for (const CatalogueObject& o : FixedObjectsBefore())
    add_object(o.id, o.parent_id, o.name, o.type, o.flags, o.type == 2 ? &admin : &engine);
  const int32_t tables_container = FixedObjectsBefore()[0].id;
  for (size_t k = 0; k < tables.size(); ++k)
    add_object(static_cast<int32_t>(pages[k]), tables_container, tables[k].name, 1,
               tables[k].catalogue_flags, tables[k].table_type == 0x53 ? &engine : nullptr);
  for (const CatalogueObject& o : FixedObjectsAfter())
    add_object(o.id, o.parent_id, o.name, o.type, o.flags, &admin);

  TableDefinition aces = ReadTableDefinition(store, header, pages[1]);
  const int object = ColumnOf(aces, "ObjectId"), sid = ColumnOf(aces, "SID"),
            acm = ColumnOf(aces, "ACM"), inheritable = ColumnOf(aces, "FInheritable");
  for (const Permission& p : PermissionsFor(pages)) {
    std::vector<Value> row(aces.columns.size());
    row[object] = int64_t{p.object_id};
    row[sid] = p.sid;
    row[acm] = int64_t{p.access_mask};
    row[inheritable] = p.inheritable;
    InsertIndexedRow(store, header, aces, row);
    aces = ReadTableDefinition(store, header, pages[1]);
  }
}

// Writes `bytes` to the new file `fd` at `offset`, whole.
void WriteWhole(int fd, const std::vector<uint8_t>& bytes, off_t offset, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw JetError(error_numbers::kDiskFull, "Could not write '" + path + "': " +
                                                   std::strerror(n < 0 ? errno : ENOSPC) + ".");
    done += static_cast<size_t>(n);
  }
}

// Gives the complete file at `temp` the name `path` unless something has that
// name already; false with errno set when it cannot (EEXIST: taken).
bool MoveIntoPlace(const std::string& temp, const std::string& path) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without the no-replace rename: link() refuses a taken name
  // too, and the temporary name is removed afterwards.
  return ::link(temp.c_str(), path.c_str()) == 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void Database::Create(const std::string& path, NewFormat format, const std::string& password,
                      uint16_t code_page) {
  if (path.empty()) throw JetError(error_numbers::kReadOnly, "No file name was given.");
  if (format != NewFormat::kAccess97) {
    code_page = kUnicodeFileCodePage;
  } else if (FindCodePageTable(code_page) == nullptr) {
    throw JetError(error_numbers::kNotSupported,
                   "An Access 97 database cannot be made in code page " +
                       std::to_string(code_page) +
                       ": choose a single-byte Windows code page (874, or 1250 to 1258).");
  }
  std::vector<uint16_t> units;
  try {
    Utf8ToUtf16(password, units);
  } catch (const JetError&) {
    throw JetError(error_numbers::kBadPassword, "The password is not valid text.");
  }
  const bool encrypt = format == NewFormat::kAccess2007 && !password.empty();
  if (units.size() > kPasswordBytes / 2)
    throw JetError(error_numbers::kOutOfRange,
                   "A database password can have at most 20 characters.");
  // Access 97 keeps the password in its code page.
  std::vector<uint8_t> jet3_password;
  if (format == NewFormat::kAccess97) {
    if (std::optional<uint32_t> refused = AppendCodePageText(password, code_page, jet3_password))
      throw JetError(error_numbers::kBadPassword,
                     "An Access 97 database password cannot hold " + DescribeCharacter(*refused) +
                         " (the new file would keep text in code page " +
                         std::to_string(code_page) + "): choose other characters.");
    if (jet3_password.size() > kJet3PasswordBytes)
      throw JetError(error_numbers::kOutOfRange,
                     "A database password can have at most 20 characters.");
  }
  for (uint16_t u : units)
    if (u == 0) throw JetError(error_numbers::kBadPassword, "The password holds a NUL character.");

  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0)
    throw JetError(error_numbers::kDatabaseExists,
                   "'" + path + "' already exists; a new database is never written over a file.");

  // Built under a temporary name beside the target, then moved into place by
  // a rename that refuses an existing target, so a file that appeared
  // meanwhile is not replaced either.
  const std::string folder = FolderOf(path);
  static std::atomic<unsigned> serial{0};
  const std::string temp =
      path + ".vq-new-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
  int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0)
    throw JetError(error_numbers::kReadOnly,
                   "Could not create a file in '" + folder + "': " + std::strerror(errno) + ".");
  auto remove_temp = [&] {
    ::unlink(temp.c_str());
    ::unlink(PageFile::JournalPath(temp).c_str());
  };
  try {
    const double created = Now();
    try {
      const Layout& l = LayoutOf(format);
      WriteWhole(fd,
                 format == NewFormat::kAccess97
                     ? Jet3HeaderPage(jet3_password, code_page)
                     : HeaderPage(format, encrypt ? std::vector<uint16_t>{} : units),
                 0, temp);
      WriteWhole(fd, FreeMapPage(l), static_cast<off_t>(l.page_size), temp);
      if (::fsync(fd) != 0)
        throw JetError(error_numbers::kDiskFull,
                       "Could not write '" + temp + "': " + std::strerror(errno) + ".");
    } catch (...) {
      ::close(fd);
      throw;
    }
    ::close(fd);
    {
      PageFile file(temp, PageFile::Mode::kReadOnly);
      file.SetLayout(LayoutOf(format).page_size, {});
      file.EnableWriting();
      file.BeginStatement();
      try {
        FillDatabase(file, format, created, code_page);
      } catch (...) {
        file.RollbackStatement();
        throw;
      }
      file.CommitStatement();
      file.Checkpoint();
    }
    if (encrypt) EncryptAccessFile(temp, DefaultEncryptionSettings(OfficeScheme::kAgile), password);
    if (!MoveIntoPlace(temp, path)) {
      int e = errno;
      if (e == EEXIST)
        throw JetError(error_numbers::kDatabaseExists,
                       "'" + path +
                           "' already exists; a new database is never written over a "
                           "file.");
      throw JetError(error_numbers::kReadOnly,
                     "Could not create '" + path + "': " + std::strerror(e) + ".");
    }
  } catch (...) {
    remove_temp();
    throw;
  }
  remove_temp();
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace jet
