#pragma once
// Where an installation goes and what it records: the download server's
// paths, the target folder, the settings file, the program the shortcut
// points at, and the proxy port as the client takes it.
#include <cstdint>
#include <string>

#include "translation/Translator.h"

namespace setup {

// The root URL of the download server, fixed when the program is built
// (DownloadBaseURL.cpp).
const std::string& DownloadBaseURL();

inline constexpr const char* SMainArchivePath = "zividezeru/Files/main.zip";
inline constexpr const char* SUpgradeArchivePath = "zividezeru/Files/upgrade.zip";

inline constexpr const char* STargetFolderName = "TORVELINNEW";
inline constexpr const char* SSettingsFileName = "SETUP.INI";
inline constexpr const char* SSettingsSection = "SETUP";
inline constexpr const char* SSettingsLanguageKey = "TAAL";
inline constexpr const char* SLinkDescription = "Torvelin";
inline constexpr const char* SProgramFileName = "TORVELIN.EXE";
inline constexpr const char* SLinkFileName = "Torvelin.lnk";

// The target folder on a drive, with its trailing backslash: "C:\TORVELINNEW\".
std::string TargetFolder(char driveLetter);

// The language buttons of the language page, in the order they are tested.
struct TLanguageChoice {
    bool Nederlands, Frans, Engels, Italiaans, Spaans;
};
// The code the settings file receives: the first checked button decides;
// none of them (German) gives "GEB".
std::string LanguageCode(const TLanguageChoice& choice);

// The shortcut's file: the desktop folder with a trailing backslash ensured,
// then "Torvelin.lnk" (an empty folder gives "\Torvelin.lnk").
std::string LinkFileFor(const std::string& desktopFolder);

// TRANSLATORS: the port typed for the proxy server
inline constexpr const char* SInvalidProxyPort = translator::gettext_noop(
    "Ongeldige poort voor de proxyserver: %s. Geef een poort van 1 tot 65535 op.");

// The proxy port as the HTTP client takes it. A typed number that no TCP port
// can have raises the message above instead of being cut to another port;
// 0 stays 0 (the client then asks for a port).
int ProxyPortFrom(int64_t typed);

} // namespace setup
