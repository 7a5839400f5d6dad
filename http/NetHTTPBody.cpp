// Reading a response body: whether one is expected, the length rules
// (chunked, Content-Length, multipart, until close) and the post-processing
// of HTML and XML bodies.
#include <memory>

#include "http/NetExceptions.h"
#include "http/NetHTTP.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"

namespace net {

using platform::AsciiLowerCase;

namespace {

enum class PostProcessing { None, Html, Xml };

// "type/subtype" in lower case, without parameters.
std::string MediaType(const std::string& contentType) {
    return AsciiLowerCase(rtl::Trim(contentType.substr(0, contentType.find(';'))));
}

std::string TypeOf(const std::string& media) {
    return media.substr(0, media.find('/'));
}

// The boundary parameter of a multipart Content-Type (RFC 2046 section
// 5.1.1): the text after the first "boundary=" up to the next ";", trimmed,
// and without its quotes when quoted. The parameter name is found without
// regard to case.
std::string BoundaryOf(const std::string& contentType) {
    std::string lower = AsciiLowerCase(contentType);
    size_t at = lower.find("boundary=");
    if (at == std::string::npos) return {};
    std::string value = contentType.substr(at + 9);
    value = value.substr(0, value.find(';'));
    value = rtl::Trim(value);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.find('"', 1) - 1);
    return value;
}

// The encoding named by an XML declaration at the start of a body.
std::string XmlEncoding(const std::string& text) {
    size_t start = text.find("<?xml");
    if (start == std::string::npos || start > 3) return {};
    size_t end = text.find("?>", start);
    if (end == std::string::npos) return {};
    std::string decl = text.substr(start, end - start);
    size_t at = decl.find("encoding");
    if (at == std::string::npos) return {};
    at = decl.find_first_of("\"'", at);
    if (at == std::string::npos) return {};
    size_t close = decl.find(decl[at], at + 1);
    if (close == std::string::npos) return {};
    return decl.substr(at + 1, close - at - 1);
}

// What a body is read for after it arrived, by its media type: the META
// tags of an HTML page, the encoding in an XML declaration.
PostProcessing PostProcessingOf(const std::string& media, const TNetHTTPOptions& options) {
    const std::string type = TypeOf(media);
    const std::string subtype =
        media.find('/') == std::string::npos ? std::string() : media.substr(media.find('/') + 1);
    if ((media == "text/html" || media == "text/html-sandboxed" ||
         media == "application/xhtml+xml") &&
        !options.Contains(hoNoParseMetaHTTPEquiv))
        return PostProcessing::Html;
    if ((media == "application/xml" || media == "application/xml-external-parsed-entity" ||
         media == "application/xml-dtd" ||
         (type != "text" && subtype.size() >= 4 &&
          subtype.compare(subtype.size() - 4, 4, "+xml") == 0)) &&
        !options.Contains(hoNoParseXmlCharset))
        return PostProcessing::Xml;
    return PostProcessing::None;
}

// The HTML page's META headers, or the XML declaration's encoding as the
// response's character set, from the body that starts at bodyStart.
void TakeBodyMetadata(TNetHTTPResponse& response, PostProcessing mode,
                      const std::vector<uint8_t>& bytes, int64_t bodyStart) {
    size_t from =
        static_cast<size_t>(std::min<int64_t>(bodyStart, static_cast<int64_t>(bytes.size())));
    std::string text(bytes.begin() + static_cast<ptrdiff_t>(from), bytes.end());
    if (mode == PostProcessing::Html) {
        response.MetaHTTPEquiv.ProcessMetaHTTPEquiv(text);
    } else {
        std::string encoding = XmlEncoding(text);
        if (!encoding.empty()) response.CharSet = encoding;
    }
}

} // namespace

bool TNetCustomHTTP::WaitForPendingData(int timeoutMs) {
    TNetIOHandler* io = IOHandler();
    if (!io) return false;
    if (!io->InputBufferIsEmpty()) return true;
    io->CheckForDataOnSource(timeoutMs);
    return !io->InputBufferIsEmpty();
}

bool TNetCustomHTTP::BodyExpected() {
    TNetHTTPResponse& response = Response();
    const TNetHTTPOptions options = RequestOptions();
    bool possible;
    if (response.Chunked())
        possible = !options.Contains(hoNoReadChunked);
    else if (response.HasContentLength())
        possible = response.ContentLength > 0;
    else if (TypeOf(MediaType(response.ContentType)) == "multipart")
        possible = !options.Contains(hoNoReadMultipartMIME);
    else
        possible = true;
    if (!possible) return false;

    const int code = response.ResponseCode();
    const bool head = platform::SameTextAscii(Request().Method, "HEAD") ||
                      platform::SameTextAscii(Request().MethodOverride, "HEAD");
    if (head || code / 100 == 1 || code == 204 || code == 304)
        return options.Contains(hoWaitForUnexpectedData) && WaitForPendingData(100);
    // A redirect may come without a body even when it announces none.
    if (code / 100 == 3) return WaitForPendingData(5000);
    return true;
}

void TNetCustomHTTP::ReadBody() {
    if (!BodyExpected()) return;
    TNetHTTPResponse& response = Response();
    rtl::TStream* target = response.ContentStream;
    const PostProcessing mode =
        target ? PostProcessingOf(MediaType(response.ContentType), RequestOptions())
               : PostProcessing::None;

    // Post-processing reads the body from memory: a file target is filled
    // from a private memory stream at the end, also when reading fails (an
    // error in writing the target then reaches the caller only when reading
    // succeeded).
    std::unique_ptr<rtl::TMemoryStream> memory;
    rtl::TMemoryStream* bodyMemory = dynamic_cast<rtl::TMemoryStream*>(target);
    int64_t bodyStart = target ? target->Position() : 0;
    if (mode != PostProcessing::None && !bodyMemory) {
        memory = std::make_unique<rtl::TMemoryStream>();
        bodyMemory = memory.get();
        bodyStart = 0;
        response.ContentStream = memory.get();
    }
    rtl::TScopeExit handOver([&] {
        if (!memory) return;
        response.ContentStream = target;
        memory->SetPosition(0);
        if (memory->Size() > 0) target->CopyFrom(*memory, memory->Size());
    });
    ReadFramedBody();
    if (mode != PostProcessing::None && bodyMemory)
        TakeBodyMetadata(response, mode, bodyMemory->Bytes(), bodyStart);
}

void TNetCustomHTTP::ReadFramedBody() {
    TNetHTTPResponse& response = Response();
    TNetIOHandler& io = *IOHandler();
    rtl::TStream* stream = response.ContentStream;
    if (response.Chunked()) {
        ReadChunkedBody();
    } else if (response.HasContentLength()) {
        if (response.ContentLength > 0) {
            try {
                if (stream)
                    io.ReadStream(stream, response.ContentLength);
                else
                    io.Discard(response.ContentLength);
            } catch (const ENetConnClosedGracefully&) {
                // The body ends short; the target keeps what arrived.
            }
        }
    } else if (TypeOf(MediaType(response.ContentType)) == "multipart") {
        ReadMultipartBody();
    } else if (stream) {
        io.ReadStream(stream, -1, true);
    } else {
        io.DiscardAll();
    }
}

// The chunked framing (RFC 9112 section 7.1):
//
//   chunked-body = *chunk last-chunk trailer-section CRLF
//   chunk        = chunk-size [ chunk-ext ] CRLF chunk-data CRLF
//   chunk-size   = 1*HEXDIG
//   last-chunk   = 1*("0") [ chunk-ext ] CRLF
//   chunk-ext    = *( BWS ";" BWS chunk-ext-name [ BWS "=" BWS chunk-ext-val ] )
//
// This reads one size line. Chunk extensions are dropped without a word:
// everything from the first ";" to the line end is ignored unchecked, as a
// recipient ignores extensions it does not know (section 7.1.1), and white
// space around the size is tolerated. The line is one protocol line: LF ends
// it, a CR before it is dropped, and a line past the I/O handler's
// MaxLineLength fails with ENetReadLnMaxLineLengthExceeded.
int64_t TNetCustomHTTP::ReadChunkSizeLine() {
    std::string line = ReadProtocolLine();
    std::string size = rtl::Trim(line.substr(0, line.find(';')));
    // A size that is not hexadecimal, or too large to be one, leaves the
    // rest of the body without a boundary: fail instead of passing a
    // truncated body as complete.
    if (size.empty() || size.size() > 15)
        throw ENetInvalidChunkSize(NetTexts.Compose(RSInvalidChunkSizeRes, {size}));
    int64_t value = 0;
    for (char c : size) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            throw ENetInvalidChunkSize(NetTexts.Compose(RSInvalidChunkSizeRes, {size}));
        value = value * 16 + digit;
    }
    return value;
}

// Chunks up to the last one, then the trailer section: its field lines are
// added to the response's raw headers. The line end after each chunk's data
// is read as a line and not looked at.
void TNetCustomHTTP::ReadChunkedBody() {
    TNetIOHandler& io = *IOHandler();
    DoStatus(TNetStatus::hsStatusText, NetTexts.Load(RSChunkStartedRes));
    BeginWork(TWorkMode::wmRead);
    rtl::TScopeExit endWork([this] { EndWork(TWorkMode::wmRead); });
    int64_t size = ReadChunkSizeLine();
    while (size != 0) {
        rtl::TStream* stream = Response().ContentStream;
        if (!stream) {
            io.Discard(size);
        } else if (OnChunkReceived) {
            std::vector<uint8_t> chunk;
            io.ReadBytes(chunk, static_cast<size_t>(size), false);
            OnChunkReceived(this, chunk);
            if (!chunk.empty()) stream->WriteBuffer(chunk.data(), chunk.size());
        } else {
            io.ReadStream(stream, size);
        }
        ReadProtocolLine(); // the line end after the data
        size = ReadChunkSizeLine();
    }
    for (;;) {
        std::string trailer = ReadProtocolLine();
        if (trailer.empty()) break;
        Response().RawHeaders.Add(trailer);
    }
}

// A multipart body without Content-Length or chunks (RFC 2046 section
// 5.1.1), delimited by itself:
//
//   multipart-body  = [ preamble CRLF ] dash-boundary transport-padding CRLF
//                     body-part *encapsulation
//                     close-delimiter transport-padding [ CRLF epilogue ]
//   encapsulation   = delimiter transport-padding CRLF body-part
//   delimiter       = CRLF dash-boundary
//   dash-boundary   = "--" boundary
//   close-delimiter = delimiter "--"
//
// The parts are not taken apart: every byte up to and with the first
// "--" boundary "--" goes to the target as it is, the rest of that line
// (transport padding and CRLF) is read and dropped, and an epilogue is left
// unread. The close delimiter is looked for across receives, so one split
// between two receives is still found. A peer that closes before it ends the
// body with what arrived.
void TNetCustomHTTP::ReadMultipartBody() {
    TNetIOHandler& io = *IOHandler();
    const std::string delimiterText = "--" + BoundaryOf(Response().ContentType) + "--";
    const std::vector<uint8_t> delimiter(delimiterText.begin(), delimiterText.end());
    rtl::TStream* stream = Response().ContentStream;
    TNetBuffer& buffer = io.InputBuffer();
    BeginWork(TWorkMode::wmRead);
    rtl::TScopeExit endWork([this] { EndWork(TWorkMode::wmRead); });
    for (;;) {
        int64_t at = buffer.IndexOf(delimiter);
        if (at >= 0) {
            buffer.ExtractToStream(stream, static_cast<size_t>(at) + delimiter.size());
            try {
                io.ReadLn();
            } catch (const ENetConnClosedGracefully&) {
            }
            break;
        }
        // Keep a tail that may be the start of a delimiter split across receives.
        if (buffer.Size() >= delimiter.size())
            buffer.ExtractToStream(stream, buffer.Size() - (delimiter.size() - 1));
        // Wait for more (bounded by the read time-out) instead of polling.
        if (io.ReceiveIntoBuffer(false, NetTimeoutDefault, true) <= 0 && !io.Opened()) {
            buffer.ExtractToStream(stream, buffer.Size());
            break;
        }
    }
}

} // namespace net
