#include "http/NetURI.h"

#include "platform/Unicode.h"

namespace net {

namespace {

bool IsSlash(char c) {
    return c == '/' || c == '\\';
}

// Backslashes typed in place of slashes are turned into slashes, from after the
// scheme's ":" (and a following "//" or "\\") up to the query or fragment;
// what follows "?" or "#" is data and stays as it is.
std::string NormaliseSlashes(const std::string& uri) {
    std::string text = uri;
    size_t end = text.find_first_of("?#");
    if (end == std::string::npos) end = text.size();
    size_t start = 0;
    size_t colon = text.find(':');
    if (colon != std::string::npos && colon < end) {
        start = colon + 1;
        if (start + 1 < text.size() && IsSlash(text[start]) && IsSlash(text[start + 1])) start += 2;
    }
    for (size_t i = start; i < end; ++i)
        if (text[i] == '\\') text[i] = '/';
    return text;
}

} // namespace

TNetURI::TNetURI(const std::string& uri) {
    SetURI(uri);
}

void TNetURI::SetURI(const std::string& uri) {
    FURI = uri;
    std::string text = NormaliseSlashes(uri);
    Protocol.clear();
    Username.clear();
    Password.clear();
    Host.clear();
    Port.clear();
    Path.clear();
    Document.clear();
    Params.clear();
    Bookmark.clear();
    IPVersion = Id_IPv4;

    // A "://" inside the query or fragment (a URL passed as a parameter) does
    // not make the URL absolute.
    size_t queryStart = text.find_first_of("?#");
    size_t schemeEnd = text.find("://");
    bool absolute = schemeEnd != std::string::npos && schemeEnd < queryStart;
    if (absolute) {
        Protocol = text.substr(0, schemeEnd);
        text.erase(0, schemeEnd + 3);
    }

    // The fragment is whatever follows the first "#", so a "?" inside it
    // belongs to the fragment, not to the query (RFC 3986 section 3.5).
    size_t hash = text.find('#');
    if (hash != std::string::npos) {
        Bookmark = text.substr(hash + 1);
        text.erase(hash);
    }
    size_t question = text.find('?');
    if (question != std::string::npos) {
        Params = text.substr(question + 1);
        text.erase(question);
    }

    if (!absolute) {
        size_t last = text.rfind('/');
        if (last != std::string::npos) {
            Path = text.substr(0, last + 1);
            text.erase(0, last + 1);
        }
        Document = text;
        return;
    }

    std::string authority;
    size_t slash = text.find('/');
    if (slash == std::string::npos) {
        authority.swap(text);
    } else {
        authority = text.substr(0, slash);
        text.erase(0, slash + 1);
    }

    SetAuthority(authority);

    size_t last = text.rfind('/');
    if (last == std::string::npos) {
        Path = "/";
    } else {
        Path = "/" + text.substr(0, last + 1);
        text.erase(0, last + 1);
    }
    Document = text;
}

// [user [":" password] "@"] host [":" port], the host of an IPv6 address
// in brackets. The last "@" ends the user information, so an "@" typed in a
// password stays in it; a password without a user name is dropped.
void TNetURI::SetAuthority(std::string authority) {
    size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        std::string userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        size_t colon = userInfo.find(':');
        Username = userInfo.substr(0, colon);
        if (colon != std::string::npos && !Username.empty()) Password = userInfo.substr(colon + 1);
    }

    size_t open = authority.find('[');
    size_t close = open == std::string::npos ? std::string::npos : authority.find(']', open + 1);
    size_t portColon;
    if (close != std::string::npos) {
        Host = authority.substr(open + 1, close - open - 1);
        IPVersion = Id_IPv6;
        portColon = authority.find(':', close + 1);
    } else {
        portColon = authority.find(':');
        Host = authority.substr(0, portColon);
    }
    if (portColon != std::string::npos) Port = authority.substr(portColon + 1);
}

std::string TNetURI::DefaultPort(const std::string& protocol) {
    if (platform::SameTextAscii(protocol, "http")) return "80";
    if (platform::SameTextAscii(protocol, "https")) return "443";
    if (platform::SameTextAscii(protocol, "ftp")) return "21";
    return std::string();
}

std::string TNetURI::GetPathAndParams() const {
    std::string result = Path + Document;
    if (!Params.empty()) result += "?" + Params;
    return result;
}

std::string TNetURI::GetFullURI(TNetURIOptionalFields optionalFields) const {
    if (Protocol.empty()) throw ENetURIException(NetTexts.Compose(SNetURIProtocolFieldEmptyRes));
    if (Host.empty()) throw ENetURIException(NetTexts.Compose(SNetURIHostFieldEmptyRes));
    std::string result = Protocol + "://";
    if ((optionalFields & ofAuthInfo) && !Username.empty()) {
        result += Username;
        if (!Password.empty()) result += ":" + Password;
        result += "@";
    }
    result += IPVersion == Id_IPv6 ? "[" + Host + "]" : Host;
    if (!Port.empty() && Port != DefaultPort(Protocol)) result += ":" + Port;
    result += GetPathAndParams();
    if ((optionalFields & ofBookmark) && !Bookmark.empty()) result += "#" + Bookmark;
    return result;
}

std::string TNetURI::URI() {
    FURI = GetFullURI(ofAuthInfo | ofBookmark);
    return GetFullURI(0);
}

std::string MergeURIPath(const std::string& previousPath, const std::string& newPath,
                         char separator) {
    if (!newPath.empty() && newPath[0] == separator) return newPath;
    bool keepTrailing = newPath.empty() || newPath.back() == separator;
    std::string work = previousPath;
    if (!work.empty() && work.back() != separator) work += separator;
    work += newPath;

    std::string result;
    size_t i = 0;
    while (i < work.size()) {
        char c = work[i];
        if (c == separator) {
            if (result.empty() || result.back() != separator) result += c;
            ++i;
            continue;
        }
        bool dotDot = c == '.' && !result.empty() && result.back() == separator &&
                      i + 1 < work.size() && work[i + 1] == '.' &&
                      (i + 2 == work.size() || work[i + 2] == separator);
        // A relative path that already climbed keeps climbing: ".." never
        // cancels an earlier "..".
        size_t n = result.size();
        if (dotDot && n >= 3 && result[n - 2] == '.' && result[n - 3] == '.' &&
            (n == 3 || result[n - 4] == separator))
            dotDot = false;
        if (!dotDot) {
            result += c;
            ++i;
            continue;
        }
        // ".." removes the segment before it; the root stays.
        if (result.size() > 1) {
            result.pop_back();
            size_t previous = result.rfind(separator);
            result.erase(previous == std::string::npos ? 0 : previous + 1);
        }
        i += 2;
        // A relative path that climbed to nothing does not turn absolute.
        if (result.empty() && i < work.size() && work[i] == separator) ++i;
    }
    if (result.size() > 1 && result.back() == separator && !keepTrailing) result.pop_back();
    return result;
}

} // namespace net
