#include "ui_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <thread>

#include "dataaccess/connection_string.h"
#include "ui/settings_store.h"

namespace vq::testing {
namespace {

const char* kAseInnerName = "FakeAseForWindowTests";

}  // namespace

void TestYielder::DoEvents() {
  ++count;
  QCoreApplication::processEvents();
  if (hook) hook();
}

void PrepareUiTestProcess() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
}

QStringList StoredKeys() {
  return QSettings(QString::fromStdString(SettingsFilePath("Zelvora")), QSettings::IniFormat)
      .allKeys();
}

std::string Stored(const std::string& key) {
  return ReadSetting("Zelvora", "Vellquist", key, "(absent)");
}

void Store(const std::string& key, const std::string& value) {
  WriteSetting("Zelvora", "Vellquist", key, value);
}

UiWorld::UiWorld(bool fake_providers) : fake_providers_(fake_providers) {
  // Each world has a store of its own, empty at first.
  SetSettingsFolder((dir_.path() + "/config").toStdString());
  // ... and a data folder of its own, never the user's.
  had_data_home_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
  saved_data_home_ = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data_home().toUtf8());
  access_file = (dir_.path() + "/orders.mdb").toStdString();
  QFile file(QString::fromStdString(access_file));
  file.open(QIODevice::WriteOnly);
  file.write("not read by the fake provider");
  file.close();

  services.program_folder = dir_.path().toStdString();
  services.dialogs = &dialogs;
  services.chooser = &chooser;
  services.yielder = &yielder;
  services.visit_home_page = [this] { ++home_page_visits; };
  services.end_program = [this] { ++end_program_calls; };
  if (!fake_providers_) return;

  jet_ = std::make_unique<FakeProvider>("Microsoft.Jet.OLEDB.4.0", access);
  ace_ = std::make_unique<FakeProvider>("Microsoft.ACE.OLEDB.12.0", access);
  ase_inner_ = std::make_unique<FakeProvider>(kAseInnerName, ase);
  // The ASE stand-in checks the password and may take its time, as a server does.
  ProviderRegistry::Global().Register(
      "ASEOLEDB", [this](const std::string& cs, const SessionOptions& options) {
        std::this_thread::sleep_for(ase_delay);
        if (ase_connects_left == 0) throw DatabaseError(errors::kUnspecified, "Server went away.");
        if (ase_connects_left > 0) --ase_connects_left;
        if (ConnectionString::Parse(cs, {}).GetOr("Password", "") != ase_password) {
          throw DatabaseError(errors::kLoginFailed, "Login failed.");
        }
        return ProviderRegistry::Global().Find(kAseInnerName)(cs, options);
      });
}

UiWorld::~UiWorld() {
  form1.reset();
  if (fake_providers_) ProviderRegistry::Global().Unregister("ASEOLEDB");
  SetSettingsFolder("");
  if (had_data_home_) {
    qputenv("XDG_DATA_HOME", saved_data_home_);
  } else {
    qunsetenv("XDG_DATA_HOME");
  }
}

void UiWorld::InstallHandCursor() {
  QFile::copy(QStringLiteral(VQ_SOURCE_DIR "/resources/HAND-M.CUR"), dir_.path() + "/HAND-M.CUR");
}

void UiWorld::InstallSkinFile() {
  QDir(dir_.path()).mkpath("x");
  QFile file(dir_.path() + "/x/o.cjs");
  file.open(QIODevice::WriteOnly);
  file.write("skin");
}

void UiWorld::StoreReachableSettings() {
  Store("AccessMDBFile", access_file);
  Store("ASEServer", "127.0.0.1");
  Store("ASEPort", "5000");
  Store("ASEUser", "sa");
  Store("ASEPassword", ase_password);
  Store("ASEDatabase", "demo");
}

Form1& UiWorld::MakeForm1() {
  form1 = std::make_unique<Form1>(services);
  return *form1;
}

void AddTable(FakeDatabase& db, const std::string& name, const std::string& type) {
  FakeTable table;
  table.type = type;
  db.tables[name] = table;
}

std::vector<std::string> Entries(const TableList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.ListCount(); ++i) out.push_back(list.List(i));
  return out;
}

}  // namespace vq::testing
