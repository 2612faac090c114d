#include "jet/database.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>

#include "jet/file_store.h"
#include "jet/office_crypto.h"
#include "jet/property_blob.h"
#include "jet/sql.h"
#include "jet/table_writer.h"
#include "jet/text_codec.h"

namespace jet {

bool NamesEqual(const std::string& a, const std::string& b) {
  return a == b || UpperCaseName(a) == UpperCaseName(b);
}

namespace {

// The open databases of this process, by the file's canonical path.
std::recursive_mutex& RegistryMutex() {
  // Recursive: a Database that fails to open is destroyed while it is held.
  static auto* m = new std::recursive_mutex;  // never destroyed: Databases may outlive statics
  return *m;
}
std::map<std::string, std::weak_ptr<Database>>& Registry() {
  static auto* r = new std::map<std::string, std::weak_ptr<Database>>;
  return *r;
}

std::string CanonicalPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  std::free(real);
  return out;
}

}  // namespace

std::shared_ptr<Database> Database::Open(const std::string& path, const std::string& password) {
  const std::string key = CanonicalPath(path);
  std::lock_guard<std::recursive_mutex> registry_lock(RegistryMutex());
  if (auto it = Registry().find(key); it != Registry().end()) {
    std::shared_ptr<Database> open = it->second.lock();
    // A file replaced or changed by another program since is opened afresh;
    // one this process is changing stays its own.
    if (open && (open->file_->Writable() || open->file_->UnchangedOnDisk())) {
      CheckAccess(open->header_, password);
      return open;
    }
    Registry().erase(it);
  }
  std::shared_ptr<Database> db(new Database());
  db->key_ = key;
  db->file_ = std::make_unique<PageFile>(path, PageFile::Mode::kReadOnly);
  PageFile& file = *db->file_;
  std::vector<uint8_t> first(static_cast<size_t>(std::min<uint64_t>(file.FileSize(), 4096)));
  if (first.size() < 0x100) {
    throw JetError(error_numbers::kCorrupt,
                   "'" + path + "' is not an Access database (the file is too short).");
  }
  file.ReadRaw(0, first.data(), first.size());
  db->header_ = ParseHeader(ByteView(first.data(), first.size()), path);
  // The password is checked against page 0 alone: a refused open reads nothing else.
  std::shared_ptr<const OfficeCipher> cipher;
  if (db->header_.IsOfficeEncrypted())
    cipher = OfficeCipher::ForFile(db->header_, password);
  else
    CheckAccess(db->header_, password);
  if (file.FileSize() < 3ull * db->header_.page_size) {
    ThrowCorrupt("'" + path + "' is too short to hold a catalogue");
  }
  PageCodec decoder, encoder;
  if (cipher) {
    decoder = [cipher](uint32_t page, uint8_t* data, size_t size) {
      cipher->Decrypt(page, data, size);
    };
    encoder = [cipher](uint32_t page, uint8_t* data, size_t size) {
      cipher->Encrypt(page, data, size);
    };
  } else if (NeedsPageDecoding(db->header_)) {
    // Jet's page encoding is RC4 keyed per page, so the same pass deciphers
    // and enciphers.
    uint32_t key = db->header_.page_key;
    decoder = encoder = [key](uint32_t page, uint8_t* data, size_t size) {
      DecodeJetPage(key, page, data, size);
    };
  }
  file.SetLayout(db->header_.page_size, decoder, encoder);
  db->catalogue_ = ReadCatalogue(file, db->header_);
  Registry()[key] = db;
  return db;
}

Database::~Database() {
  try {
    if (file_ && file_->Writable()) file_->Checkpoint();
  } catch (...) {
    // The file keeps the last checkpoint's state; nothing more can be done here.
  }
  std::lock_guard<std::recursive_mutex> registry_lock(RegistryMutex());
  auto it = Registry().find(key_);
  if (it != Registry().end() && it->second.expired()) Registry().erase(it);
}

const CatalogueEntry& Database::FindTable(const std::string& name) const {
  auto is_table = [](const CatalogueEntry& e) {
    return e.kind == ObjectKind::kUserTable || e.kind == ObjectKind::kSystemTable ||
           e.kind == ObjectKind::kLinkedTable;
  };
  // Exact names first: every INSERT looks its table up, and folding each
  // catalogue name to upper case costs more than the rest of the lookup.
  for (const CatalogueEntry& e : catalogue_)
    if (is_table(e) && e.name == name) return e;
  for (const CatalogueEntry& e : catalogue_)
    if (is_table(e) && NamesEqual(e.name, name)) return e;
  throw JetError(error_numbers::kNoSuchTable,
                 "There is no table or query named '" + name +
                     "' in this database; check that it exists and that its name is spelled "
                     "correctly.");
}

TableDefinition Database::Definition(const std::string& name) {
  const CatalogueEntry& e = FindTable(name);
  if (e.kind == ObjectKind::kLinkedTable) {
    throw JetError(error_numbers::kNotSupported,
                   "'" + e.name + "' is a linked table; reading linked tables is not supported.");
  }
  TableDefinition def = ReadTableDefinition(*file_, header_, e.DefinitionPage());
  ReadColumnProperties(*file_, header_,
                       ByteView(e.properties_field.data(), e.properties_field.size()), def);
  return def;
}

std::unique_ptr<TableReader> Database::OpenTable(const std::string& name) {
  return std::make_unique<TableReader>(*file_, header_, Definition(name));
}

}  // namespace jet
