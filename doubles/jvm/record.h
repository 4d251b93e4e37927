// What the stand-in runtime saw, one line per observation, appended to the
// file named by TAVRIN_JVM_RECORD (nothing is kept when it is not set).
#ifndef TAVRIN_DOUBLES_JVM_RECORD_H
#define TAVRIN_DOUBLES_JVM_RECORD_H

#include <mutex>
#include <string>

namespace standin {

class Record {
public:
    explicit Record(std::string path) : path_(std::move(path)) {}
    void line(const std::string& text); // safe from any thread

private:
    std::mutex mutex_;
    std::string path_;
};

} // namespace standin

#endif
