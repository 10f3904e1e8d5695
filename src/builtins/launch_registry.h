// What the launcher reads from the registry: programs registered under App Paths and the commands of
// class associations.
#pragma once
#include <string>

namespace tov {

// Texts are given as stored: environment references are not expanded.
struct AppPathKey {
  std::u16string program;   // the key's default value
  std::u16string path;      // its "Path" value: directories for PATH ("" when there is none)
};

// Reads the App Paths key of a program file name ("NOTEPAD.EXE"). False when the key does not exist.
bool read_app_path(const std::u16string& name, AppPathKey* key);
// The command of a verb ("open", "print") for files of an extension (".txt"): through the file type
// the extension names, else the extension's own command. False when there is none.
bool read_class_command(const std::u16string& extension, const std::u16string& verb, std::u16string* command);

}  // namespace tov
