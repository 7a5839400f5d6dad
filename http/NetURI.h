#pragma once
// Splitting a URL into its parts and joining the parts again. No percent
// decoding or encoding happens either way: the parts hold the text as written.
#include <string>

#include "http/NetExceptions.h"

namespace net {

enum TNetIPVersion { Id_IPv4, Id_IPv6 };

// Optional parts of a joined URI (a set of flags).
using TNetURIOptionalFields = unsigned;
inline constexpr TNetURIOptionalFields ofAuthInfo = 1u; // user name and password
inline constexpr TNetURIOptionalFields ofBookmark = 2u; // "#" fragment

class TNetURI {
  public:
    TNetURI() = default;
    explicit TNetURI(const std::string& uri);

    std::string Protocol;
    std::string Username;
    std::string Password;
    std::string Host;
    std::string Port;
    std::string Path;     // from the first "/" up to and including the last "/"
    std::string Document; // after the last "/"
    std::string Params;   // after "?", without it
    std::string Bookmark; // after "#", without it
    TNetIPVersion IPVersion = Id_IPv4;

    // Joins the parts without user information and fragment, and keeps the
    // join with both in the stored URI text. Raises ENetURIException when the
    // protocol or the host is empty.
    std::string URI();
    // Keeps the text and splits it into the parts.
    void SetURI(const std::string& uri);
    // The text last set or built.
    const std::string& StoredURI() const { return FURI; }

    // protocol "://" [user [":" password] "@"] host [":" port] path document
    // ["?" params] ["#" bookmark]; the port only when it is not the protocol's
    // default, an IPv6 host in brackets.
    std::string GetFullURI(TNetURIOptionalFields optionalFields = ofAuthInfo | ofBookmark) const;
    // Path + document, then "?" + params when there are any.
    std::string GetPathAndParams() const;

    // The port a protocol uses when none is given ("80" for http, "443" for
    // https, "21" for ftp, any case); empty for other protocols.
    static std::string DefaultPort(const std::string& protocol);

  private:
    // Sets the user information, host, port and IP version from the
    // authority part of an absolute URI.
    void SetAuthority(std::string authority);

    std::string FURI;
};

// Merges a path onto the previous one: a path that begins with the separator
// replaces the previous path; otherwise it is appended to the previous path
// (with a separator between). Repeated separators collapse, and each ".."
// segment removes the segment before it (never above the root). The result
// ends with the separator when the new path is empty or ends with one.
std::string MergeURIPath(const std::string& previousPath, const std::string& newPath,
                         char separator = '/');

} // namespace net
