#pragma once
// One URL of netget fetched into its file, apart from the command line.
#include <string>

#include "http/NetDownload.h"
#include "http/NetHTTP.h"
#include "runtime/RuntimeTextTable.h"

namespace netget {

#define RUNTIME_TEXT RUNTIME_TEXT_DECLARE
#include "tools/netget/FetchTexts.def"
#undef RUNTIME_TEXT
extern const rtl::TRuntimeTextTable FetchTexts;

// Fetches url into the file output, created new (replacing one of that
// name). A connection that breaks during the body is retried as the policy
// allows (resumed where the server allows it). Raises what the client
// raises, and SBodyIncomplete when the body is shorter than announced: the
// client takes a close before the end as the end of the body. After any
// failure the file is gone, so none is left that looks complete; a file that
// could not be created is not touched.
void FetchToFile(net::TNetHTTP& http, const std::string& url, const std::string& output,
                 const net::TNetRetryPolicy& retry = {});

} // namespace netget
