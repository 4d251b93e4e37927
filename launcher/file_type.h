// The catalog file type ".tvr" below HKEY_CLASSES_ROOT, so that opening a
// catalog in the shell starts the launcher with the catalog's path.
#ifndef TAVRIN_LAUNCHER_FILE_TYPE_H
#define TAVRIN_LAUNCHER_FILE_TYPE_H

#include <optional>
#include <string>

namespace launcher {

constexpr bool fileTypeRegistrationEnabled = true;
// When this key exists the user has opted out: nothing is written.
extern const char fileTypeOptOutKey[]; // "tvrfile\\noUpdate"

// The open command and the document icon for a launcher at exePath.
std::string openCommandFor(const std::string& exePath);
std::string documentIconFor(const std::string& exePath);

// Writes the file type's keys; the open command only when it changed, and
// then tells the shell that file associations changed.
void registerCatalogFileType(const std::string& exePath);

// Registry access below HKEY_CLASSES_ROOT.
bool classesKeyExists(const std::string& key);
std::optional<std::string> readClassesValue(const std::string& key); // the default value, at most 255 bytes
void writeClassesValue(const std::string& key, const std::string& subkey, const std::string& text);

} // namespace launcher

#endif
