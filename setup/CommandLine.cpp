#include "setup/CommandLine.h"

#include <cctype>
#include <set>

#include "runtime/Format.h"

namespace setup {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program's name: up to the closing quote when quoted (the quote is
// dropped and whatever follows it starts the next argument), else up to the
// first blank.
size_t SplitProgramName(std::string_view line, std::string& name) {
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        name = line.substr(1, close == std::string_view::npos ? close : close - 1);
        i = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        name = line.substr(0, i);
    }
    return i;
}

// The backslashes just written before a quote: 2n of them become n and the
// quote is a delimiter (true); 2n+1 become n and a literal quote (false).
bool HalveBackslashes(std::string& arg, size_t backslashes) {
    arg.resize(arg.size() - backslashes / 2 - (backslashes & 1));
    if (backslashes & 1) arg += '"';
    return (backslashes & 1) == 0;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args(1);
    size_t i = SplitProgramName(line, args[0]);
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size()) return args;
    args.emplace_back();
    // quotes counts the quotes of the current run modulo 3: odd means within
    // quotes; the third one of a run is a literal quote.
    int quotes = 0;
    size_t backslashes = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (IsBlank(c) && quotes == 0) {
            while (i < line.size() && IsBlank(line[i]))
                ++i;
            if (i < line.size()) args.emplace_back();
            backslashes = 0;
        } else if (c == '\\') {
            args.back() += c, ++backslashes, ++i;
        } else if (c == '"') {
            if (HalveBackslashes(args.back(), backslashes)) ++quotes;
            backslashes = 0;
            for (++i; i < line.size() && line[i] == '"'; ++i)
                if (++quotes == 3) args.back() += '"', quotes = 0;
            if (quotes == 2) quotes = 0;
        } else {
            args.back() += c, backslashes = 0, ++i;
        }
    }
    return args;
}

namespace {

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::string Lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

[[noreturn]] void Refuse(const char* format, std::initializer_list<rtl::FormatArg> args) {
    throw ECommandLineError(translator::ComposeMessage(format, args));
}

// One argument taken apart: "/Drive=d:" gives the name "DRIVE" and the value
// "d:"; Spelled keeps the option as given for messages ("/Drive").
struct TArgument {
    std::string Spelled, Name;
    std::optional<std::string> Value;
};

std::optional<TArgument> SplitOption(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    const size_t equals = argument.find('=');
    TArgument result;
    result.Spelled = argument.substr(0, equals);
    result.Name = Upper(result.Spelled.substr(1));
    if (equals != std::string::npos) result.Value = argument.substr(equals + 1);
    return result;
}

// A port: 1 to 65535 in decimal digits only (no sign, no spaces).
std::optional<int> ReadPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

// [user[:password]@]host:port. The host is whatever the proxy settings page
// would take, short of blanks and separators that make it ambiguous.
std::optional<TProxyOption> ReadProxy(const std::string& value) {
    TProxyOption proxy;
    if (value.empty()) return proxy;
    std::string_view rest = value;
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view user = rest.substr(0, at);
        const size_t colon = user.find(':');
        proxy.Username = std::string(user.substr(0, colon));
        if (colon != std::string_view::npos) proxy.Password = std::string(user.substr(colon + 1));
        if (proxy.Username.empty()) return std::nullopt;
        rest = rest.substr(at + 1);
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    proxy.Server = std::string(rest.substr(0, colon));
    if (proxy.Server.find_first_of(" \t/@:") != std::string::npos) return std::nullopt;
    const std::optional<int> port = ReadPort(rest.substr(colon + 1));
    if (!port) return std::nullopt;
    proxy.Port = *port;
    return proxy;
}

// The options, each with what reading its value does to the settings. An
// option whose Reader is null takes no value. Key names a choice that
// several options share (how much window), so that giving two of them is
// giving it twice.
struct TOptionRule {
    const char* Name;
    const char* Key;
    void (*Apply)(TSetupOptions&, const TArgument&, const TFixedDriveTest&);
    bool TakesValue;
    bool ValueOptional;
};

void ApplyDrive(TSetupOptions& o, const TArgument& a, const TFixedDriveTest& isFixed) {
    const std::string& v = *a.Value;
    const bool shape = (v.size() == 1 || (v.size() == 2 && v[1] == ':')) &&
                       std::isalpha(static_cast<unsigned char>(v[0]));
    const char letter =
        shape ? static_cast<char>(std::toupper(static_cast<unsigned char>(v[0]))) : 0;
    if (!shape || !isFixed || !isFixed(letter)) Refuse(SBadDrive, {a.Spelled, v});
    o.Drive = letter;
}

void ApplyProxy(TSetupOptions& o, const TArgument& a, const TFixedDriveTest&) {
    o.Proxy = ReadProxy(*a.Value);
    if (!o.Proxy) Refuse(SBadProxy, {a.Spelled, *a.Value});
}

void ApplyLanguage(TSetupOptions& o, const TArgument& a, const TFixedDriveTest&) {
    const std::string code = Lower(*a.Value);
    if (code != "nl" && code != "fr" && code != "en") Refuse(SBadLanguage, {a.Spelled, *a.Value});
    o.Language = code;
}

void ApplyLog(TSetupOptions& o, const TArgument& a, const TFixedDriveTest&) {
    if (!a.Value) {
        o.Log = TLogRequest::NewInTemp;
        return;
    }
    if (a.Value->empty()) Refuse(SEmptyLogPath, {a.Spelled});
    o.Log = TLogRequest::Append, o.LogPath = *a.Value;
}

void ApplyFolder(TSetupOptions& o, const TArgument& a, const TFixedDriveTest&) {
    if (a.Value->empty()) Refuse(SBadValue, {a.Spelled, *a.Value});
    o.Folder = *a.Value;
}

void ApplyWait(TSetupOptions& o, const TArgument& a, const TFixedDriveTest&) {
    const std::string& v = *a.Value;
    if (v.empty() || v.size() > 10 || v.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(v) > 0xFFFFFFFFull)
        Refuse(SBadValue, {a.Spelled, v});
    o.WaitFor = static_cast<unsigned long>(std::stoull(v));
}

const TOptionRule kOptions[] = {
    {"SILENT", "UI",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) { o.Ui = TUiLevel::Silent; },
     false, false},
    {"VERYSILENT", "UI",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) {
         o.Ui = TUiLevel::VerySilent;
     },
     false, false},
    {"SUPPRESSMSGBOXES", "SUPPRESSMSGBOXES",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) { o.SuppressMsgBoxes = true; },
     false, false},
    {"?", "HELP", [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) { o.Help = true; },
     false, false},
    {"HELP", "HELP",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) { o.Help = true; }, false,
     false},
    {"DRIVE", "DRIVE", ApplyDrive, true, false},
    {"PROXY", "PROXY", ApplyProxy, true, false},
    {"LANG", "LANG", ApplyLanguage, true, false},
    {"LOG", "LOG", ApplyLog, true, true},
    {"CLOSEAPPLICATIONS", "CLOSEAPPLICATIONS",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) { o.CloseApplications = true; },
     false, false},
    {"UNINSTALL", "UNINSTALL",
     [](TSetupOptions& o, const TArgument&, const TFixedDriveTest&) {
         o.Mode = TSetupMode::Uninstall;
     },
     false, false},
    {"FOLDER", "FOLDER", ApplyFolder, true, false},
    {"WAIT", "WAIT", ApplyWait, true, false},
};

const TOptionRule* FindRule(const std::string& name) {
    for (const TOptionRule& rule : kOptions)
        if (name == rule.Name) return &rule;
    return nullptr;
}

void ReadArgument(const std::string& argument, TSetupOptions& options, std::set<std::string>& given,
                  const TFixedDriveTest& isFixedDrive) {
    const std::optional<TArgument> option = SplitOption(argument);
    const TOptionRule* rule = option ? FindRule(option->Name) : nullptr;
    if (!rule) Refuse(SUnknownOption, {argument});
    if (!given.insert(rule->Key).second) Refuse(SOptionTwice, {option->Spelled});
    if (!rule->TakesValue && option->Value) Refuse(SOptionTakesNoValue, {option->Spelled});
    // A value-taking option given bare: /DRIVE alone reads as an empty
    // value, which its reader refuses with its own message.
    TArgument a = *option;
    if (rule->TakesValue && !a.Value && !rule->ValueOptional) a.Value = std::string();
    rule->Apply(options, a, isFixedDrive);
}

} // namespace

TSetupOptions ParseCommandLine(const std::vector<std::string>& arguments,
                               const TFixedDriveTest& isFixedDrive) {
    TSetupOptions options;
    std::set<std::string> given;
    std::optional<rtl::TText> refusal;
    for (const std::string& argument : arguments) {
        try {
            ReadArgument(argument, options, given, isFixedDrive);
        } catch (const ECommandLineError& e) {
            if (!refusal) refusal = e.Text();
        }
    }
    if (refusal) throw ECommandLineError(*refusal, options);
    return options;
}

namespace {

// The argument as SplitCommandLine reads it back: quoted when it is empty or
// holds a blank or a quote; backslashes doubled where they come before a
// quote, the closing one included.
std::string QuotedArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

} // namespace

std::string MaskedCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        std::string shown = argument;
        const std::optional<TArgument> option = SplitOption(argument);
        if (option && option->Name == "PROXY" && option->Value) {
            const size_t at = option->Value->rfind('@');
            const size_t colon = option->Value->find(':');
            if (at != std::string::npos && colon < at)
                shown = option->Spelled + "=" + option->Value->substr(0, colon + 1) + "***" +
                        option->Value->substr(at);
        }
        if (!line.empty()) line += ' ';
        line += QuotedArgument(shown);
    }
    return line;
}

std::string HelpText() {
    return translator::gettext(SHelpText);
}

} // namespace setup
