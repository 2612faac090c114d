// What the window tests share: a private settings store, a program folder of
// their own, scripted boxes and file chooser, and fake providers standing in
// under the real provider names.
#pragma once

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/memory_interaction.h"
#include "support/fake_provider.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form_metrics.h"
#include "ui/ui_services.h"

namespace vq::testing {

// Hands out scripted paths and remembers what the box was asked.
class ScriptedChooser : public FileChooser {
 public:
  std::string ChooseFile(QWidget*, const std::string& title, const std::string& filter) override {
    titles.push_back(title);
    filters.push_back(filter);
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;  // none left: cancelled
  std::vector<std::string> titles;
  std::vector<std::string> filters;
};

// Yields to Qt for real, counts, and can act "meanwhile".
class TestYielder : public Yielder {
 public:
  void DoEvents() override;
  long count = 0;
  std::function<void()> hook;
};

// Prepares the process for the window tests (offscreen platform). Call before
// the QApplication is made.
void PrepareUiTestProcess();

// The main program of a window test: runs the QTest object `Test` in a fresh
// application with the font substitution the program installs.
template <typename Test>
int RunWindowTest(int argc, char** argv) {
  PrepareUiTestProcess();
  QApplication app(argc, argv);
  InstallFontSubstitution();
  Test test;
  return QTest::qExec(&test, argc, argv);
}

// The keys of the current world's store, in "Section/Key" form.
QStringList StoredKeys();
// The stored text of a [Vellquist] key, "(absent)" when there is none.
std::string Stored(const std::string& key);
void Store(const std::string& key, const std::string& value);

// One window test's world: a program folder, an Access file that exists, fake
// databases for both sides, and the services the windows get.
class UiWorld {
 public:
  // With `fake_providers` false the real Access and ASE providers stay in place.
  explicit UiWorld(bool fake_providers = true);
  ~UiWorld();

  // Puts our hand pointer (and, when `skin`, the skin file) into the program folder.
  void InstallHandCursor();
  void InstallSkinFile();
  // Stores settings that reach the fake server with the fake Access file.
  void StoreReachableSettings();
  // Makes the connection window (not yet started).
  Form1& MakeForm1();

  QString folder() const { return dir_.path(); }
  // The world's XDG_DATA_HOME, where the user's copy of the sample goes.
  QString data_home() const { return dir_.path() + "/data"; }
  std::string access_file;  // an existing file (the fake provider reads nothing)
  std::shared_ptr<FakeDatabase> access = std::make_shared<FakeDatabase>();
  std::shared_ptr<FakeDatabase> ase = std::make_shared<FakeDatabase>();
  // The ASE password the fake server accepts; any other is a refused login.
  std::string ase_password = "secret";
  // Connects the fake server still takes before it refuses every one; -1: no limit.
  int ase_connects_left = -1;
  // How long the fake server takes to answer a connect.
  std::chrono::milliseconds ase_delay{0};

  ScriptedDialogs dialogs;
  ScriptedChooser chooser;
  TestYielder yielder;
  int end_program_calls = 0;
  int home_page_visits = 0;
  UiServices services;
  std::unique_ptr<Form1> form1;

 private:
  QTemporaryDir dir_;
  QByteArray saved_data_home_;
  bool had_data_home_;
  bool fake_providers_;
  std::unique_ptr<FakeProvider> jet_, ace_, ase_inner_;
};

// Adds a user table called `name` to a fake database.
void AddTable(FakeDatabase& db, const std::string& name, const std::string& type = "TABLE");

// The entries of a list, in order.
std::vector<std::string> Entries(const TableList& list);

}  // namespace vq::testing
