#include "record.h"

#include <cstdio>

namespace standin {

void Record::line(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty())
        return;
    if (std::FILE* file = std::fopen(path_.c_str(), "ab")) {
        std::fprintf(file, "%s\n", text.c_str());
        std::fclose(file);
    }
}

} // namespace standin
