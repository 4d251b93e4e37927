// Reads one entry of a jar written without compression ("jar cf0"), as the
// application's own tavrin.jar is.
#ifndef TAVRIN_DOUBLES_JVM_STORED_JAR_H
#define TAVRIN_DOUBLES_JVM_STORED_JAR_H

#include <optional>
#include <string>
#include <vector>

namespace standin {

// The bytes of the entry, or none when the archive cannot be read, has no
// such entry, or holds it compressed.
std::optional<std::vector<char>> readStoredEntry(const std::string& archive, const std::string& entry);

} // namespace standin

#endif
