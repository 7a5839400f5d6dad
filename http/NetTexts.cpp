#include "http/NetTexts.h"

namespace net {

namespace {
const rtl::RuntimeTextEntry kNetTexts[] = {
#define RUNTIME_TEXT RUNTIME_TEXT_ENTRY
#include "http/NetTexts.def"
#undef RUNTIME_TEXT
};
} // namespace

const rtl::TRuntimeTextTable NetTexts{kNetTexts};

} // namespace net
