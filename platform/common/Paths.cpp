// Path helpers shared by every platform; they only look at the text.
#include "platform/Files.h"

namespace platform {

std::string ExtractFilePath(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i) {
        char c = path[i - 1];
        if (IsPathDelimiter(c) || (PathDelim() == '\\' && c == ':'))
            return std::string(path.substr(0, i));
    }
    return {};
}

std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(ExtractFilePath(path).size()));
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.empty() || !IsPathDelimiter(out.back())) out += PathDelim();
    return out;
}

bool CreateDirectoryChain(const std::string& path, int& error) {
    error = 0;
    if (path.empty() || DirectoryExists(path)) return true;
    const char delim = PathDelim();
    // For a UNC name the server and share ("\\server\share") are not ours to create.
    const bool unc = path.size() > 1 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]);
    int firstPrefix = unc ? 5 : 2;
    int seen = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != delim && !IsPathDelimiter(path[i])) continue;
        ++seen;
        if (seen < firstPrefix) continue;
        std::string prefix = path.substr(0, i);
        if (prefix.empty() || DirectoryExists(prefix)) continue;
        if (!CreateDir(prefix, error) && !DirectoryExists(prefix)) return false;
    }
    if (!DirectoryExists(path) && !CreateDir(path, error) && !DirectoryExists(path)) return false;
    error = 0;
    return true;
}

bool DeleteTree(const std::string& path) {
    std::string folder = IncludeTrailingPathDelimiter(path);
    for (const std::string& name : ListDirectory(path)) {
        std::string entry = folder + name;
        if (DirectoryExists(entry))
            DeleteTree(entry);
        else
            DeleteFileByName(entry);
    }
    RemoveDir(path);
    return !DirectoryExists(path);
}

} // namespace platform
