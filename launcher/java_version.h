// The Java version of a runtime home, from the "release" file that runtimes
// since Java 9 (and many builds of Java 8) carry: text lines of NAME="value".
#ifndef TAVRIN_LAUNCHER_JAVA_VERSION_H
#define TAVRIN_LAUNCHER_JAVA_VERSION_H

#include <optional>
#include <string>

namespace launcher {

// The first feature version whose virtual machine refuses to start when asked
// for a security manager.
constexpr int firstVersionWithoutSecurityManager = 24;
// The first feature version that warns when class-path code loads a native
// library without native access enabled for it (and a later one refuses).
constexpr int firstVersionRestrictingNativeAccess = 24;

// The value of the release text's JAVA_VERSION line, without its quotes; none
// without such a line. The text may begin with a UTF-8 byte-order mark, lines
// may end in CRLF, and blanks or tabs may stand around the name, the "=" and
// the value, as editors leave them.
std::optional<std::string> releaseJavaVersion(const std::string& releaseText);

// The feature number of a Java version: for "1.x" the number after "1."
// ("1.8.0_401" is 8), otherwise the leading number ("21.0.2" is 21, "26-ea"
// is 26); none when there is no number to read.
std::optional<int> javaFeatureNumber(const std::string& version);

// The JAVA_VERSION of the home's "release" file, or none.
std::optional<std::string> javaVersionOfHome(const std::wstring& home);

} // namespace launcher

#endif
