#pragma once
// Finds catalogs, on disk or appended to the executable, and shares each
// opened catalog among the text domains that use it.
#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>

#include "platform/RWLock.h"
#include <string_view>
#include <vector>

#include "runtime/Streams.h"
#include "translation/MoFile.h"

namespace translator {

// A catalog appended to the executable: absolute position and length.
struct TEmbeddedFileInfo {
    int64_t offset = 0;
    int64_t size = 0;
};

// Orders names without regard to ASCII case, and with '/' and '\' equal.
struct TFileNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class TFileLocator {
  public:
    // moduleFileName is the executable that may carry appended catalogs.
    explicit TFileLocator(std::string moduleFileName);
    ~TFileLocator();
    TFileLocator(const TFileLocator&) = delete;
    TFileLocator& operator=(const TFileLocator&) = delete;

    // Appended-catalog discovery in the executable. Never raises: a file that
    // cannot be read or a malformed block ends it, keeping what was read.
    void Analyze();
    // The same over a stream holding the executable's bytes.
    void AnalyzeStream(rtl::TStream& str);

    // The 0-based position of the first occurrence of signature in str, read
    // from the start in blocks of 100000 bytes; 0 when there is none.
    static int64_t FindSignaturePos(std::string_view signature, rtl::TStream& str);

    // True when filename, below the executable's folder, names an appended catalog.
    bool FileExists(const std::string& filename) const;
    // The shared catalog of that name (appended or on disk), opened on first
    // use; its Users count goes up. Raises what TMoFile raises.
    TMoFile* GetMoFile(const std::string& filename);
    // Hands a catalog back; the last user closes it.
    void ReleaseMoFile(TMoFile* mofile);

    const std::string& BaseDirectory() const { return basedirectory; }
    // The names of the appended catalogs found, in sorted order.
    std::vector<std::string> EmbeddedFileNames() const;
    // Number of catalogs open at the moment.
    size_t OpenCatalogCount() const;

  private:
    const TEmbeddedFileInfo* FindEmbedded(const std::string& filename) const;

    std::string FModuleFileName;
    std::string basedirectory;
    std::map<std::string, TEmbeddedFileInfo, TFileNameLess> filelist;
    mutable platform::TRWLock MoFilesCS;
    std::map<std::string, std::unique_ptr<TMoFile>, TFileNameLess> MoFiles;
};

} // namespace translator
