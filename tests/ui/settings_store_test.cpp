#include "ui/settings_store.h"

#include "dataaccess/settings_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace vq {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("vq_settings_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    folder_ = root_ / "config" / "deeper";  // does not exist yet
    SetSettingsFolder(folder_.string());
  }
  void TearDown() override {
    SetSettingsFolder("");
    fs::remove_all(root_);
  }
  std::string Read(const std::string& key, const std::string& fallback = "") {
    return ReadSetting("Zelvora", "Vellquist", key, fallback);
  }
  void Write(const std::string& key, const std::string& text) {
    WriteSetting("Zelvora", "Vellquist", key, text);
  }
  fs::path File() const { return folder_ / "Zelvora.conf"; }
  std::string FileText() const {
    std::ifstream in(File());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static unsigned Mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
  }

  fs::path root_, folder_;
};

TEST_F(SettingsStoreTest, ApplicationNamesTheFileInTheConfigFolder) {
  EXPECT_EQ(SettingsFilePath("Zelvora"), File().string());

  SetSettingsFolder("");
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  const char* old_home = std::getenv("HOME");
  std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";
  ::setenv("XDG_CONFIG_HOME", (root_ / "xdg").c_str(), 1);
  EXPECT_EQ(SettingsFilePath("Zelvora"), (root_ / "xdg" / "Zelvora.conf").string());
  EXPECT_EQ(DefaultSettingsFile("Zelvora"), SettingsFilePath("Zelvora"));
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", (root_ / "home").c_str(), 1);
  EXPECT_EQ(SettingsFilePath("Zelvora"), (root_ / "home" / ".config" / "Zelvora.conf").string());
  EXPECT_EQ(DefaultSettingsFile("Zelvora"), SettingsFilePath("Zelvora"));
  old_xdg ? ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  old_home ? ::setenv("HOME", saved_home.c_str(), 1) : ::unsetenv("HOME");
}

TEST_F(SettingsStoreTest, AbsentKeyGivesTheDefaultAndReadingCreatesNothing) {
  EXPECT_EQ(Read("ASEPort", "5000"), "5000");
  EXPECT_EQ(Read("ASEServer"), "");
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_FALSE(fs::exists(folder_));

  Write("ASEServer", "ase1");
  EXPECT_EQ(Read("ASEPort", "5000"), "5000");
  EXPECT_EQ(FileText().find("ASEPort"), std::string::npos);
}

TEST_F(SettingsStoreTest, EmptyTextIsAValueUnlikeAnAbsentKey) {
  Write("ASEPort", "5000");
  Write("ASEPort", "");
  EXPECT_EQ(Read("ASEPort", "5000"), "");
  Write("ASEPort", "5001");
  EXPECT_EQ(Read("ASEPort", "5000"), "5001");
}

TEST_F(SettingsStoreTest, AwkwardTextsReadBackUnchanged) {
  const std::vector<std::string> texts = {"pa;ss=wo\"rd'",
                                          "a, b",
                                          "  lead and trail  ",
                                          "C:\\data\\Sales.ACCDB",
                                          "\\\\server\\share\\",
                                          "Zürich Ærø 日本",
                                          "@Invalid()",
                                          "#not a comment",
                                          "; not either",
                                          "line\nbreak\r",
                                          "tab\there",
                                          "\"",
                                          "[Vellquist]",
                                          "key=value",
                                          "=",
                                          ","};
  for (size_t i = 0; i < texts.size(); ++i) Write("Key" + std::to_string(i), texts[i]);
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(Read("Key" + std::to_string(i), "absent"), texts[i]) << i;
  }
  // The command line reads the same file without Qt.
  const auto plain = ReadSettingsSection(File().string(), "Vellquist");
  for (size_t i = 0; i < texts.size(); ++i) {
    const auto it = plain.find("Key" + std::to_string(i));
    ASSERT_NE(it, plain.end()) << i;
    EXPECT_EQ(it->second, texts[i]) << i;
  }
  // Qt caches settings files per process; a new process must read the file itself.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int wrong = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
      if (Read("Key" + std::to_string(i), "absent") != texts[i]) ++wrong;
    }
    ::_exit(wrong);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "values read wrongly by a fresh process";
  // Every value stayed on its own line of the one section.
  const std::string text = FileText();
  EXPECT_EQ(text.find("[Vellquist]"), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(texts.size()) + 1)
      << text;
}

TEST_F(SettingsStoreTest, SectionsAndApplicationsAreKeptApart) {
  Write("ASEUser", "sa");
  WriteSetting("Zelvora", "Other", "ASEUser", "other");
  WriteSetting("Elsewhere", "Vellquist", "ASEUser", "else");
  EXPECT_EQ(Read("ASEUser"), "sa");
  EXPECT_EQ(ReadSetting("Zelvora", "Other", "ASEUser", ""), "other");
  EXPECT_EQ(ReadSetting("Elsewhere", "Vellquist", "ASEUser", ""), "else");
  EXPECT_TRUE(fs::exists(folder_ / "Elsewhere.conf"));
  Write("ASEUser", "dbo");
  EXPECT_EQ(Read("ASEUser"), "dbo");
  EXPECT_EQ(ReadSetting("Zelvora", "Other", "ASEUser", ""), "other");
}

TEST_F(SettingsStoreTest, FileIsForItsOwnerOnly) {
  Write("ASEPassword", "secret");
  EXPECT_EQ(Mode(File()), 0600u);
  EXPECT_EQ(Mode(folder_), 0700u);

  // A file left readable by others is closed at the next write.
  fs::permissions(File(), fs::perms(0644));
  Write("ASEPassword", "secret2");
  EXPECT_EQ(Mode(File()), 0600u);
  EXPECT_EQ(Read("ASEPassword"), "secret2");
}

TEST_F(SettingsStoreTest, AFolderThatCannotBeMadeIsAClearError) {
  fs::create_directories(root_);
  std::ofstream(root_ / "config") << "a file where the folder should be";
  EXPECT_THROW(Write("ASEUser", "sa"), std::runtime_error);
  EXPECT_EQ(Read("ASEUser", "none"), "none");
}

}  // namespace
}  // namespace vq
