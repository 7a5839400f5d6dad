#include "tools/netget/Fetch.h"

#include <memory>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
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

void FetchToFile(net::TNetHTTP& http, const std::string& url, const std::string& output,
                 const net::TNetRetryPolicy& retry) {
    auto file = std::make_unique<rtl::TFileStream>(output, rtl::fmCreate);
    rtl::TScopeFail remove([&] {
        file.reset();
        platform::DeleteFileByName(output);
    });
    net::TNetDownload download(http, retry);
    const net::TNetDownloadResult result = download.Get(url, *file);
    if (!result.Complete())
        throw rtl::Exception(
            FetchTexts.Format(SBodyIncompleteRes, {url, rtl::IntToStr(result.Received),
                                                   rtl::IntToStr(result.Expected)}));
}

} // namespace netget
