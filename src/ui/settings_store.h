// The per-user settings store: texts kept between runs by application, section
// and key. Each application is one INI file in the user's configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config): application "Zelvora" is
// Zelvora.conf, and a section is an INI group such as [Vellquist]. The file is
// readable and writable by its owner only, since it holds passwords.
#pragma once

#include <string>

namespace vq {

// The stored text of `key`, or `default_value` when the key is absent. An empty
// stored text is a value like any other. Reading never creates a key or a file.
// Throws std::runtime_error when the file exists but cannot be read.
std::string ReadSetting(const std::string& application, const std::string& section,
                        const std::string& key, const std::string& default_value);

// Stores `text` under `key` at once, creating the folder, the file, the section
// and the key as needed and replacing any earlier value; the file is left with
// mode 0600. Throws std::runtime_error when the file cannot be written.
void WriteSetting(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& text);

// The file that holds `application`'s settings.
std::string SettingsFilePath(const std::string& application);

// Puts every application's file in `folder` instead of the user's configuration
// folder; an empty text restores the default. For tests.
void SetSettingsFolder(const std::string& folder);

}  // namespace vq
