#include "ui/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <stdexcept>

namespace vq {
namespace {

std::string& FolderOverride() {
  static std::string folder;
  return folder;
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The store is opened by file name rather than by organisation and application:
// Qt 6 gives INI files opened by name the ending ".ini" and would also fall back
// to system-wide files, where this store is for the current user alone.
QString FilePath(const std::string& application) {
  QString folder = FolderOverride().empty()
                       ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       : Q(FolderOverride());
  return folder + QLatin1Char('/') + Q(application) + QStringLiteral(".conf");
}

[[noreturn]] void Fail(const char* what, const QString& path) {
  throw std::runtime_error(std::string(what) + " the settings file " + path.toStdString());
}

// Creates the folder (owner only) and an empty file with mode 0600 before
// anything is written, so no password ever sits in a file others can read.
void PrepareFile(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().exists(folder)) {
    if (!QDir().mkpath(folder)) Fail("Cannot create the folder of", path);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create", path);
  ::fchmod(fd, 0600);  // an older file may have been readable by others
  ::close(fd);
}

}  // namespace

std::string SettingsFilePath(const std::string& application) {
  return FilePath(application).toStdString();
}

void SetSettingsFolder(const std::string& folder) {
  FolderOverride() = folder;
}

std::string ReadSetting(const std::string& application, const std::string& section,
                        const std::string& key, const std::string& default_value) {
  const QString path = FilePath(application);
  QSettings settings(path, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) Fail("Cannot read", path);
  settings.beginGroup(Q(section));
  if (!settings.contains(Q(key))) return default_value;
  const QVariant value = settings.value(Q(key));
  // A hand-edited line such as "a, b" without quotes reads back as a list.
  if (value.typeId() == QMetaType::QStringList) {
    return value.toStringList().join(QStringLiteral(", ")).toStdString();
  }
  return value.toString().toStdString();
}

void WriteSetting(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& text) {
  const QString path = FilePath(application);
  PrepareFile(path);
  QSettings settings(path, QSettings::IniFormat);
  settings.beginGroup(Q(section));
  settings.setValue(Q(key), Q(text));
  settings.endGroup();
  settings.sync();
  if (settings.status() != QSettings::NoError) Fail("Cannot write", path);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace vq
