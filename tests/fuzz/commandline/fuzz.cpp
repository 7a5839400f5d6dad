// Setup.exe's command line on arbitrary text: the split, the options read
// from it and the masked form a log shows. Besides memory errors it checks
// the shape of every result.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/CommandLine.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args = setup::SplitCommandLine(line);
    Check(!args.empty());
    size_t bytes = 0;
    for (const std::string& a : args)
        bytes += a.size();
    // Splitting only drops quotes, backslashes and blanks.
    Check(bytes <= line.size());
    for (size_t i = 1; i < args.size(); ++i)
        for (char c : args[i])
            Check(c != '\0' || line.find('\0') != std::string::npos);
    args.erase(args.begin());

    // The masked line splits back into the same arguments, but for a proxy
    // password, which reads back as "***".
    const std::string masked = setup::MaskedCommandLine(args);
    std::vector<std::string> again = setup::SplitCommandLine("x " + masked);
    again.erase(again.begin());
    const bool hasNul = line.find('\0') != std::string::npos;
    if (!hasNul) Check(again.size() == args.size());
    const auto isC = [](char letter) { return letter == 'C'; };
    try {
        const setup::TSetupOptions o = setup::ParseCommandLine(args, isC);
        Check(o.Drive == 0 || o.Drive == 'C');
        Check(o.Language.empty() || o.Language == "nl" || o.Language == "fr" || o.Language == "en");
        Check((o.Log == setup::TLogRequest::Append) == !o.LogPath.empty());
        if (o.Proxy && !o.Proxy->Server.empty())
            Check(o.Proxy->Port >= 1 && o.Proxy->Port <= 65535);
        Check(args.size() <= 9);
        if (!hasNul) {
            const setup::TSetupOptions m = setup::ParseCommandLine(again, isC);
            Check(m.Ui == o.Ui && m.Drive == o.Drive && m.LogPath == o.LogPath);
            if (o.Proxy && o.Proxy->Password.empty()) Check(m.Proxy->Password.empty());
            if (o.Proxy && !o.Proxy->Password.empty()) Check(m.Proxy->Password == "***");
        }
    } catch (const setup::ECommandLineError& e) {
        Check(!e.Message().empty());
    }
    return 0;
}
