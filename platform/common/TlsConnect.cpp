#include "platform/common/TlsAdapter.h"

namespace platform {

std::unique_ptr<TlsSession> TlsConnect(SocketHandle s, const std::string& host,
                                       const TlsOptions& options, TlsHandshakeError& error) {
    std::unique_ptr<tls::AdapterSession> session = tls::NewAdapterSession(s);
    if (!session->Handshake(host, options, error)) return nullptr;
    error = {};
    return session;
}

} // namespace platform
