#include "setup/FilesInUse.h"

#include "runtime/Format.h"

namespace setup {

namespace {

std::string FileLines(const std::vector<TFileInUse>& files) {
    std::string lines;
    for (const TFileInUse& f : files) {
        if (!lines.empty()) lines += "\r\n"; // as the translated texts break their lines
        lines += f.Application.empty() ? rtl::Format(translator::gettext(SFileInUse), {f.File})
                                       : rtl::Format(translator::gettext(SFileUsedByProgram),
                                                     {f.Application, f.File});
    }
    return lines;
}

} // namespace

std::string FilesInUseQuestion(const std::vector<TFileInUse>& files) {
    return rtl::Format(translator::gettext(SFilesInUseQuestion), {FileLines(files)});
}

rtl::TText FilesInUseFailure(const std::vector<TFileInUse>& files) {
    return rtl::Compose(
        [&] { return rtl::Format(translator::gettext(SFilesInUseFailure), {FileLines(files)}); });
}

} // namespace setup
