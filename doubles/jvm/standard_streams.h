// The stand-in runtime's own standard output and standard error.
//
// A real runtime brings its own C library, which binds its standard streams to
// the process's standard handles when it is loaded and never looks again. The
// stand-in does the same instead of writing through the C library it shares
// with the launcher, so what it prints lands where a real runtime's output
// would: in the error log only when the launcher made the log the process's
// standard handles before loading the runtime.
#ifndef TAVRIN_DOUBLES_JVM_STANDARD_STREAMS_H
#define TAVRIN_DOUBLES_JVM_STANDARD_STREAMS_H

#include <string>

namespace standin {

// A line as Java's println writes it on Windows ("\r\n" appended).
void printToStandardOutput(const std::string& line);
void printToStandardError(const std::string& line);

} // namespace standin

#endif
