#include "setup/InstallSteps.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/Streams.h"
#include "translation/Translator.h"

#ifndef SETUP_DOWNLOAD_BASE_URL
#error "SETUP_DOWNLOAD_BASE_URL must be defined by the build"
#endif

namespace setup {

const std::string& DownloadBaseURL() {
    static const std::string url = SETUP_DOWNLOAD_BASE_URL;
    return url;
}

std::string TargetFolder(char driveLetter) {
    return std::string(1, driveLetter) + ":\\" + STargetFolderName + "\\";
}

std::string LanguageCode(const TLanguageChoice& choice) {
    if (choice.Nederlands) return "NLB";
    if (choice.Frans) return "FRB";
    if (choice.Engels) return "UKB";
    if (choice.Italiaans) return "IT";
    if (choice.Spaans) return "ES";
    return "GEB";
}

std::string LinkFileFor(const std::string& desktopFolder) {
    std::string folder = desktopFolder;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder + SLinkFileName;
}

int ProxyPortFrom(int64_t typed) {
    if (typed < 0 || typed > 65535)
        throw rtl::Exception(
            rtl::Format(translator::gettext(SInvalidProxyPort), {rtl::IntToStr(typed)}));
    return static_cast<int>(typed);
}

void ConfigureHTTPClient(net::TNetHTTP& http) {
    http.AllowCookies = true;
    http.HTTPOptions = net::TNetHTTPOptions{net::hoForceEncodeParams};
    http.Request().Accept = SInstallAccept;
    http.Request().BasicAuthentication = false;
    http.ProxyParams.BasicAuthentication = false;
    http.ProxyParams.ProxyPort = 0;
    http.ProxyParams.ProxyServer.clear();
    http.ConnectTimeout = net::NetDownloadConnectTimeoutMs;
    http.ReadTimeout = net::NetDownloadReadTimeoutMs;
}

void ConfigureIOHandler(net::TNetHTTP& http, net::TNetIOHandler& handler) {
    handler.RecvBufferSize = InstallRecvBufferSize;
    http.SetIOHandler(&handler);
}

void ShortenTimeouts(net::TNetHTTP& http, const std::string& milliseconds) {
    int64_t value = 0;
    if (!rtl::TryStrToInt64(milliseconds, value) || value <= 0) return;
    if (value < http.ConnectTimeout) http.ConnectTimeout = static_cast<int>(value);
    if (value < http.ReadTimeout) http.ReadTimeout = static_cast<int>(value);
}

int ShortenedPause(int milliseconds, const std::string& testValue) {
    int64_t value = 0;
    if (!rtl::TryStrToInt64(testValue, value) || value <= 0) return milliseconds;
    return static_cast<int>(std::min<int64_t>(value, milliseconds));
}

void DownloadToFile(net::TNetHTTP& http, const std::string& baseURL,
                    const std::string& relativePath, const std::string& localFile,
                    const net::TNetRetryPolicy& retry) {
    // A new empty file, not shared while it is open; it is closed on every
    // path before an error leaves this step.
    rtl::TFileStream file(localFile, rtl::fmCreate);
    http.Request().UserAgent = SInstallUserAgent;
    const std::string url = baseURL + relativePath;
    net::TNetDownload download(http, retry);
    const net::TNetDownloadResult result = download.Get(url, file);

    // A body completed by ranges answers for the 200 that began it.
    if (result.ResponseCode != 200)
        throw rtl::Exception(translator::gettext(SHTTPError) +
                             rtl::Format("%d: %s", {result.ResponseCode, result.ResponseText}));

    // A body cut short by the server is still a complete-looking GET for the
    // client; an archive missing its tail must not be unpacked as if whole.
    if (!result.Complete())
        throw rtl::Exception(
            rtl::Format(translator::gettext(SDownloadIncomplete),
                        {url, rtl::IntToStr(result.Received), rtl::IntToStr(result.Expected)}));
}

namespace {

// True when the failure is the item's own DOS date or time that cannot be
// converted: the file was written whole and checked before the extractor set
// its time, so it is complete and merely keeps the current time.
bool IsDateFailure(arc::TArcArchiveItem& item, const std::string& message) {
    auto* zipItem = dynamic_cast<arc::TArcZipItem*>(&item);
    if (!zipItem) return false;
    try {
        zipItem->LastModTimeAsDateTime();
    } catch (const rtl::EConvertError& e) {
        return e.Message() == message;
    }
    return false;
}

} // namespace

void UnpackArchive(arc::TArcUnZipper& unzipper, const std::string& archiveFile) {
    struct FirstFailure {
        bool Seen = false;
        std::string Entry, Message;
    } failure;
    // The extractor skips an entry that fails (and keeps one whose checksum
    // does not match) without telling its caller; remember the first one so
    // an incomplete unpack never passes for a complete one.
    auto handler = [&](arc::TArcArchiveItem& item, arc::TArcProcessType, arc::TArcErrorClass, int,
                       const std::string& message) {
        if (failure.Seen || IsDateFailure(item, message)) return;
        failure = {true, item.FileName(), message};
    };
    // On every path, also when extraction raises, the caller's handler comes
    // back and the archive is released, so its file is not held open (and
    // locked, on Windows) while the run reports the error.
    struct Session {
        arc::TArcUnZipper& Unzipper;
        decltype(unzipper.OnProcessItemFailure) Previous;
        ~Session() {
            Unzipper.OnProcessItemFailure = Previous;
            try {
                Unzipper.CloseArchive();
            } catch (...) {
            }
        }
    } session{unzipper, unzipper.OnProcessItemFailure};
    unzipper.OnProcessItemFailure = handler;
    unzipper.SetBaseDirectory(platform::ExtractFilePath(archiveFile));
    unzipper.OpenArchive(archiveFile);
    unzipper.ExtractFiles("*.*");
    unzipper.CloseArchive();
    platform::DeleteFileByName(archiveFile);

    if (failure.Seen)
        throw rtl::Exception(
            rtl::Format(translator::gettext(SEntryNotUnpacked),
                        {failure.Entry, platform::ExtractFileName(archiveFile), failure.Message}));
}

bool TProgressMapper::WorkBegin(int64_t workCountMax, int32_t& newMax) {
    if (workCountMax <= 0) return false; // unknown size: the bar keeps its maximum
    FShift = 0;
    while ((workCountMax >> FShift) > std::numeric_limits<int32_t>::max())
        ++FShift;
    newMax = static_cast<int32_t>(workCountMax >> FShift);
    return true;
}

int32_t TProgressMapper::Position(int64_t workCount) const {
    int64_t scaled = workCount >> FShift;
    // Past the maximum the bar is full; never wrap around into small values.
    if (scaled > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return scaled < 0 ? 0 : static_cast<int32_t>(scaled);
}

void TProgressPacer::SetRange(int32_t max, int pixels) {
    FMax = max > 0 ? max : 1;
    FPixels = pixels > 0 ? pixels : 1;
    FDrawnColumn = -1;
}

int64_t TProgressPacer::Column(int32_t position) const {
    int64_t p = std::clamp<int64_t>(position, 0, FMax);
    return p * FPixels / FMax;
}

bool TProgressPacer::ShouldDraw(int32_t position, uint64_t nowMs) {
    const int64_t column = Column(position);
    if (column == FDrawnColumn) return false;
    const bool edge = column == 0 || column == FPixels;
    if (!edge && FDrawnColumn >= 0 && nowMs - FDrawnAt < kRedrawIntervalMs) return false;
    FDrawnColumn = column;
    FDrawnAt = nowMs;
    return true;
}

bool TProgressPacer::ShouldLookAtQueue(uint64_t nowMs) {
    if (FLookedAt != 0 && nowMs - FLookedAt < kQueueIntervalMs) return false;
    FLookedAt = nowMs;
    return true;
}

} // namespace setup
