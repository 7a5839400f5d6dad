#pragma once
// Helpers shared by the test programs.
#include <atomic>
#include <string>

#include "platform/Files.h"
#include "platform/Process.h"

namespace testing_support {

// A fresh, empty folder below the system's temporary folder, removed with its
// files (one level deep) when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return FPath; } // with a trailing delimiter
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FPath;
};

// Whole content of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A fixture below tests/data.
std::string DataFile(const std::string& relative);

} // namespace testing_support
