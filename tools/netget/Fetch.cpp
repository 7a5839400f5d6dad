#include "tools/netget/Fetch.h"

#include <memory>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/Streams.h"

namespace netget {

namespace {
const rtl::RuntimeTextEntry kFetchTexts[] = {
#define RUNTIME_TEXT RUNTIME_TEXT_ENTRY
#include "tools/netget/FetchTexts.def"
#undef RUNTIME_TEXT
};
} // namespace

const rtl::TRuntimeTextTable FetchTexts{kFetchTexts};

void FetchToFile(net::TNetHTTP& http, const std::string& url, const std::string& output) {
    auto file = std::make_unique<rtl::TFileStream>(output, rtl::fmCreate);
    try {
        http.Get(url, file.get());
        const net::TNetHTTPResponse& response = http.Response();
        const int64_t received = file->Size();
        if (response.HasContentLength() && received < response.ContentLength)
            throw rtl::Exception(
                FetchTexts.Format(SBodyIncompleteRes, {url, rtl::IntToStr(received),
                                                       rtl::IntToStr(response.ContentLength)}));
    } catch (...) {
        file.reset();
        platform::DeleteFileByName(output);
        throw;
    }
}

} // namespace netget
