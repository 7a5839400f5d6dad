#pragma once
// Running the engine on strings in tests.
#include <gtest/gtest.h>

#include <string>

#include "archive/ArcErrors.h"
#include "archive/deflate/Inflate.h"
#include "runtime/Streams.h"

namespace inflate_test {

inline std::string ToString(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

inline rtl::TMemoryStream MemoryOf(const std::string& bytes) {
    rtl::TMemoryStream s;
    s.WriteBuffer(bytes.data(), bytes.size());
    s.SetPosition(0);
    return s;
}

inline std::string InflateBytes(const std::string& compressed, bool deflate64 = false,
                                arc::TArcDeflateHelper* helperOut = nullptr) {
    rtl::TMemoryStream src = MemoryOf(compressed);
    rtl::TMemoryStream dst;
    arc::TArcDeflateHelper helper;
    if (deflate64) helper.FOptions |= arc::TArcDeflateHelper::kDeflate64;
    arc::Inflate(src, dst, helper);
    if (helperOut) *helperOut = helper;
    return ToString(dst.Bytes());
}

// The internal cause of the inflate error a stream raises, or a note saying
// that it did not raise one.
inline std::string InflateCause(const std::string& compressed, bool deflate64 = false) {
    const std::string prefix = arc::kArcMsgInflatePrefix;
    try {
        InflateBytes(compressed, deflate64);
    } catch (const arc::EArcInflateError& e) {
        const std::string& m = e.Message();
        if (m.compare(0, prefix.size(), prefix) != 0 || m.back() != ')')
            return "malformed message: " + m;
        return m.substr(prefix.size(), m.size() - prefix.size() - 1);
    } catch (const std::exception& e) {
        return std::string("other error: ") + e.what();
    }
    return "no error";
}

} // namespace inflate_test
