// Running the application in a virtual machine inside the launcher's own
// process, on the runtime that runtime_discovery.h finds.
#ifndef TAVRIN_LAUNCHER_JAVA_START_H
#define TAVRIN_LAUNCHER_JAVA_START_H

#include <string>
#include <vector>

namespace launcher {

extern const char bootstrapClassName[];    // "orlesk/tavrin/SecureLauncher"
extern const char* const extraVmOptions[]; // ended by a null entry

// Whether the virtual machine is given the security manager and its policy:
// runtimes since Java 24 refuse to start with them.
enum class SecurityManager { Requested, Unsupported };

// The virtual machine's option strings, in order: class path, library path,
// security manager and policy (when requested), the log location, then
// extraVmOptions.
std::vector<std::string> vmOptionStrings(const std::string& classPath, const std::string& libraryPath,
                                         SecurityManager securityManager);

// "-Dtavrin.failedlog=..." for a log that failed to open, else
// "-Dtavrin.actuallog=..." (the empty path when none was set; it is then
// set), the path in a form the virtual machine can read.
std::string logLocationOption();

// Finds the runtime (the installation's own "jre", the registered runtimes,
// JAVA_HOME, in this order) and runs the application: arguments[0] is "java", arguments[1] the catalog to
// open when there is one. Ends the process when the application has run;
// returns the message for the user when the launch failed.
std::wstring startJava(const std::string& classPath, const std::string& libraryPath,
                       const std::vector<std::wstring>& arguments);

} // namespace launcher

#endif
