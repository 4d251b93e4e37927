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

// The value of the release text's JAVA_VERSION line, without its quotes; none
// without such a line.
std::optional<std::string> releaseJavaVersion(const std::string& releaseText);

// The feature number of a Java version: for "1.x" the number after "1."
// ("1.8.0_401" is 8), otherwise the leading number ("21.0.2" is 21, "26-ea"
// is 26); none when there is no number to read.
std::optional<int> javaFeatureNumber(const std::string& version);

// The JAVA_VERSION of the home's "release" file, or none.
std::optional<std::string> javaVersionOfHome(const std::wstring& home);

} // namespace launcher

#endif
