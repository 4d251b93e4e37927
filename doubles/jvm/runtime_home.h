// What the stand-in runtime knows about the runtime home it was installed in,
// found from its own file as a real runtime finds its home: jvm.dll lies in
// <home>\bin\<client or server>.
#ifndef TAVRIN_DOUBLES_JVM_RUNTIME_HOME_H
#define TAVRIN_DOUBLES_JVM_RUNTIME_HOME_H

#include <string>

namespace standin {

// The home folder of the jvm.dll this code is part of.
std::string runtimeHome();

// The feature number of the JAVA_VERSION="..." line of the home's "release"
// file ("1.8.0_401" gives 8, "25" gives 25), or 0 when there is none (as
// many runtimes before Java 9 have none). Blanks, tabs, CRLF line ends and a
// UTF-8 byte-order mark do not hide it.
int releaseFeatureVersion(const std::string& home);

} // namespace standin

#endif
