#pragma once
// Access to one registry key at a time, as the installation run needs it:
// open (optionally creating) a key under a root and read string values.
#include <cstdint>
#include <string>

#include "runtime/Exception.h"

namespace setup {

class ERegistryException : public rtl::Exception {
    using rtl::Exception::Exception;
};

class TRegistry {
public:
    // root: a predefined key such as HKEY_CURRENT_USER; access: a REGSAM mask.
    TRegistry(void* rootKey, unsigned long access);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens a key below the root, creating it when canCreate is set; false when
    // it cannot be opened (the previous key stays closed).
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();

    // A string value of the open key: plain and expandable strings are given
    // as stored (not expanded); a missing or empty value reads as "". A value
    // of another type raises ERegistryException "Invalid data type for '%s'".
    std::string ReadString(const std::string& name);
    // Values of the open key, stored as REG_SZ and REG_DWORD; raise
    // ERegistryException "Failed to set data for '%s'" when refused (or no
    // key is open).
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, uint32_t value);

    // Deletes a key below the root with its values (it has no sub-keys of
    // ours); true when it is gone afterwards, also when it never was.
    bool DeleteKey(const std::string& key);

private:
    void* FRootKey;
    unsigned long FAccess;
    void* FCurrentKey = nullptr;
};

// Writes one string entry of a private-profile (INI) file, creating the file
// when missing and keeping every other entry. Raises rtl::Exception "Unable to
// write to %s" with the file name when the system refuses.
void WriteProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                        const std::string& value);

} // namespace setup
