#include "setup/CheckedDownload.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"
#include "setup/release/DigestStream.h"
#include "translation/Translator.h"

namespace setup {

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

void ConfigureIOHandler(net::TNetHTTP& http, net::TNetIOHandlerTLS& handler) {
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

namespace {

// A status other than 200, and a body that ended before the length the
// server announced, fail a download. A body completed by ranges answers for
// the 200 that began it.
void CheckResponse(const net::TNetDownloadResult& result, const std::string& url) {
    if (result.ResponseCode != 200)
        throw rtl::Exception(rtl::Compose([&] {
            return translator::gettext(SHTTPError) +
                   rtl::Format("%d: %s", {result.ResponseCode, result.ResponseText});
        }));

    // A body cut short by the server is still a complete-looking GET for the
    // client; an archive missing its tail must not be unpacked as if whole.
    if (!result.Complete())
        throw rtl::Exception(
            translator::ComposeMessage(SDownloadIncomplete, {url, rtl::IntToStr(result.Received),
                                                             rtl::IntToStr(result.Expected)}));
}

[[noreturn]] void Refuse(const char* format, std::initializer_list<rtl::FormatArg> args) {
    throw EReleaseRefused(translator::ComposeMessage(format, args));
}

// One download into sink under the checks of a release, resumed or started
// over as retry allows (the sink hashes what lands, across resumes, and
// starts its hash over with the body). The announced length of a 200
// response is judged by `announced` (a refusal text, or empty) before any
// byte of the body is read; a refused body is left unread, which closes the
// connection. A body past the sink's cap ends the transfer at that write,
// and the connection is closed at once so the server stops sending.
net::TNetDownloadResult GetChecked(net::TNetHTTP& http, const std::string& url, TDigestStream& sink,
                                   const net::TNetRetryPolicy& retry,
                                   const std::function<rtl::TText(int64_t)>& announced) {
    rtl::TText refusal;
    net::TNetRequestHooks hooks;
    // The body goes straight into the sink: looking for META or XML
    // charsets would first collect it in memory, past any cap.
    hooks.Options = {net::hoNoParseMetaHTTPEquiv, net::hoNoParseXmlCharset};
    hooks.OnHeadersAvailable = [&](net::TNetCustomHTTP* sender, net::TNetHeaderList&, bool& go) {
        const net::TNetHTTPResponse& response = sender->Response();
        if (sender->ResponseCode() != 200 || !response.HasContentLength()) return;
        refusal = announced(response.ContentLength);
        go = refusal.Text.empty();
    };
    hooks.Headers.SetValues("User-Agent", SInstallUserAgent);
    net::TNetDownload download(http, retry);
    net::TNetDownloadResult result;
    try {
        result = download.Get(url, sink, hooks);
    } catch (const EDigestStreamFull&) {
        http.Disconnect();
        throw;
    }
    if (!refusal.Text.empty()) throw EReleaseRefused(refusal);
    return result;
}

} // namespace

void DownloadToFile(net::TNetHTTP& http, const std::string& baseURL,
                    const std::string& relativePath, const std::string& localFile,
                    const net::TNetRetryPolicy& retry) {
    // A new empty file, not shared while it is open; it is closed on every
    // path before an error leaves this step.
    rtl::TFileStream file(localFile, rtl::fmCreate);
    net::TNetRequestHooks hooks;
    hooks.Headers.SetValues("User-Agent", SInstallUserAgent);
    const std::string url = baseURL + relativePath;
    net::TNetDownload download(http, retry);
    CheckResponse(download.Get(url, file, hooks), url);
}

TReleaseManifest DownloadManifest(net::TNetHTTP& http, const std::string& baseURL,
                                  const TReleaseKeys& keys, int64_t nowUnix,
                                  const net::TNetRetryPolicy& retry) {
    const auto maxSize = static_cast<int64_t>(kManifestMaxSize);
    const rtl::TText tooLarge =
        translator::ComposeMessage(SManifestTooLarge, {rtl::IntToStr(maxSize)});
    rtl::TMemoryStream memory;
    TDigestStream sink(memory, maxSize, tooLarge);
    const std::string url = baseURL + SManifestPath;
    net::TNetDownloadResult result;
    try {
        result = GetChecked(http, url, sink, retry, [&](int64_t length) {
            return length > maxSize ? tooLarge : rtl::TText();
        });
    } catch (const net::ENetHTTPProtocolException& e) {
        throw EReleaseRefused(rtl::Compose([&] {
            return rtl::Format(translator::gettext(SManifestNotFetched),
                               {SManifestFileName, rtl::NestedMessage(e)});
        }));
    }
    if (result.ResponseCode != 200)
        Refuse(SManifestNotFetched, {SManifestFileName, result.ResponseText});
    CheckResponse(result, url);
    const std::vector<uint8_t>& bytes = memory.Bytes();
    return VerifyManifest(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), keys, nowUnix);
}

void DownloadToFile(net::TNetHTTP& http, const std::string& baseURL,
                    const std::string& relativePath, const std::string& localFile,
                    const TReleaseFile& listed, const net::TNetRetryPolicy& retry) {
    auto file = std::make_unique<rtl::TFileStream>(localFile, rtl::fmCreate);
    // Whatever did not prove to be the release's archive goes: closed first,
    // so that it can be deleted on Windows.
    rtl::TScopeFail discard([&] {
        file.reset();
        platform::DeleteFileByName(localFile);
    });
    const std::string& name = listed.Name;
    const std::string size = rtl::IntToStr(listed.Size);
    TDigestStream sink(*file, listed.Size,
                       translator::ComposeMessage(SArchiveTooLong, {name, size}));
    const std::string url = baseURL + relativePath;
    CheckResponse(GetChecked(http, url, sink, retry,
                             [&](int64_t length) {
                                 return length == listed.Size
                                            ? rtl::TText()
                                            : translator::ComposeMessage(
                                                  SArchiveSizeAnnounced,
                                                  {name, rtl::IntToStr(length), size});
                             }),
                  url);
    if (sink.Written() != listed.Size)
        Refuse(SArchiveTooShort, {name, rtl::IntToStr(sink.Written()), size});
    platform::Sha256Digest digest;
    if (!sink.Finish(digest)) Refuse(SReleaseCheckUnavailable, {});
    if (digest != listed.Sha256) Refuse(SArchiveDigest, {name});
    file.reset();
}

} // namespace setup
