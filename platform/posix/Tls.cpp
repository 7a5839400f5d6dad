// TLS client sessions through GnuTLS. The socket stays blocking; GnuTLS
// reads through a pull function of ours that waits for the socket with the
// caller's time-out, so a record that arrives in pieces never blocks a
// receive beyond it (GnuTLS keeps the part it has and goes on at the next
// call).
#include "platform/Tls.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <cerrno>

#include "platform/common/TlsAdapter.h"

namespace platform {

namespace {

// TLS 1.2 and 1.3 only, on top of the system's own choice of ciphers.
constexpr const char* kVersions = "-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

class GnuTlsSession final : public tls::AdapterSession {
  public:
    explicit GnuTlsSession(SocketHandle s) : FSocket(s) {}
    ~GnuTlsSession() override {
        if (FSession) gnutls_deinit(FSession);
        if (FCredentials) gnutls_certificate_free_credentials(FCredentials);
    }
    int64_t Receive(void* buffer, size_t count, int timeoutMs, int& error) override;
    int64_t Send(const void* buffer, size_t count, int& error) override;
    void CloseNotify() override;

  private:
    bool Handshake(const std::string& host, const TlsOptions& options,
                   TlsHandshakeError& error) override;
    bool Setup(const std::string& host);
    bool Verify(const std::string& host, TlsHandshakeError& error);
    bool Fail(TlsHandshakeError& error, int rc);

    static ssize_t Pull(gnutls_transport_ptr_t self, void* data, size_t size);
    static ssize_t Push(gnutls_transport_ptr_t self, const void* data, size_t size);
    static int PullTimeout(gnutls_transport_ptr_t self, unsigned int ms);

    void StartCall(int timeoutMs) {
        FDeadline.Start(timeoutMs);
        FSocketError = 0;
        FWaitEnded = false;
    }

    SocketHandle FSocket;
    gnutls_session_t FSession = nullptr;
    gnutls_certificate_credentials_t FCredentials = nullptr;
    tls::CallDeadline FDeadline;
    int FSocketError = 0; // what failed under the last GnuTLS call, 0: nothing
    // The pull function found nothing within the call's time. GnuTLS also
    // answers "again" after it took a handshake message that came after the
    // handshake (a TLS 1.3 session ticket): then it is simply asked again.
    bool FWaitEnded = false;
};

ssize_t GnuTlsSession::Pull(gnutls_transport_ptr_t p, void* data, size_t size) {
    auto* self = static_cast<GnuTlsSession*>(p);
    for (;;) {
        int error = 0;
        int64_t n = SocketRecvNoWait(self->FSocket, data, size, error);
        if (n >= 0) return static_cast<ssize_t>(n);
        int ready = 0;
        if (error == wsa::WouldBlock) {
            int wait = self->FDeadline.RemainingMs();
            if (wait != 0) ready = SocketWaitReadable(self->FSocket, wait, error);
            if (ready > 0) continue;
            if (ready == 0) {
                self->FWaitEnded = true;
                gnutls_transport_set_errno(self->FSession, EAGAIN);
                return -1;
            }
        }
        self->FSocketError = error;
        gnutls_transport_set_errno(self->FSession, EIO);
        return -1;
    }
}

ssize_t GnuTlsSession::Push(gnutls_transport_ptr_t p, const void* data, size_t size) {
    auto* self = static_cast<GnuTlsSession*>(p);
    int error = 0;
    int64_t n = SocketSend(self->FSocket, data, size, error);
    if (n >= 0) return static_cast<ssize_t>(n);
    self->FSocketError = error;
    gnutls_transport_set_errno(self->FSession, EIO);
    return -1;
}

int GnuTlsSession::PullTimeout(gnutls_transport_ptr_t p, unsigned int ms) {
    auto* self = static_cast<GnuTlsSession*>(p);
    int error = 0;
    return SocketWaitReadable(self->FSocket,
                              ms == GNUTLS_INDEFINITE_TIMEOUT ? -1 : static_cast<int>(ms), error);
}

bool GnuTlsSession::Setup(const std::string& host) {
    const char* errorAt = nullptr;
    if (gnutls_init(&FSession, GNUTLS_CLIENT) < 0 ||
        gnutls_set_default_priority_append(FSession, kVersions, &errorAt, 0) < 0 ||
        gnutls_credentials_set(FSession, GNUTLS_CRD_CERTIFICATE, FCredentials) < 0)
        return false;
    std::vector<uint8_t> address;
    // SNI carries host names only (RFC 6066 section 3).
    if (!AddressLiteralBytes(host, address) &&
        gnutls_server_name_set(FSession, GNUTLS_NAME_DNS, host.data(), host.size()) < 0)
        return false;
    gnutls_transport_set_ptr(FSession, this);
    gnutls_transport_set_pull_function(FSession, Pull);
    gnutls_transport_set_push_function(FSession, Push);
    gnutls_transport_set_pull_timeout_function(FSession, PullTimeout);
    // The time-out is ours, through the pull function's deadline.
    gnutls_handshake_set_timeout(FSession, 0);
    return true;
}

bool GnuTlsSession::Fail(TlsHandshakeError& error, int rc) {
    if (rc == GNUTLS_E_AGAIN) {
        error = {TlsFailure::Socket, wsa::TimedOut, {}, {}};
    } else if (FSocketError != 0) {
        error = {TlsFailure::Socket, FSocketError, {}, {}};
    } else {
        error = {TlsFailure::Handshake, 0, gnutls_strerror(rc), {}};
        if (rc == GNUTLS_E_FATAL_ALERT_RECEIVED || rc == GNUTLS_E_WARNING_ALERT_RECEIVED)
            if (const char* alert = gnutls_alert_get_name(gnutls_alert_get(FSession)))
                error.Detail += std::string(" (") + alert + ")";
        // GnuTLS speaks English: the program never gives it a locale.
        error.DetailEnglish = error.Detail;
    }
    return false;
}

bool GnuTlsSession::Handshake(const std::string& host, const TlsOptions& options,
                              TlsHandshakeError& error) {
    int rc = gnutls_certificate_allocate_credentials(&FCredentials);
    if (rc < 0) return Fail(error, rc);
    // A bundle without certificates is no error here: the check below then
    // finds no trusted root and refuses.
    rc = options.CaFile.empty() ? gnutls_certificate_set_x509_system_trust(FCredentials)
                                : gnutls_certificate_set_x509_trust_file(
                                      FCredentials, options.CaFile.c_str(), GNUTLS_X509_FMT_PEM);
    if (rc < 0) {
        error = {TlsFailure::Handshake, 0, gnutls_strerror(rc), {}};
        if (!options.CaFile.empty()) error.Detail = options.CaFile + ": " + error.Detail;
        error.DetailEnglish = error.Detail;
        return false;
    }
    if (!Setup(host)) return Fail(error, GNUTLS_E_INTERNAL_ERROR);
    StartCall(options.TimeoutMs);
    do {
        rc = gnutls_handshake(FSession);
    } while (rc < 0 && !(rc == GNUTLS_E_AGAIN && FWaitEnded) && !gnutls_error_is_fatal(rc));
    if (rc < 0) return Fail(error, rc);
    return Verify(host, error);
}

// The chain first (trusted root, then validity), then the name, so that a
// certificate that fails several checks is reported for the most basic one.
bool GnuTlsSession::Verify(const std::string& host, TlsHandshakeError& error) {
    gnutls_typed_vdata_st purpose{};
    purpose.type = GNUTLS_DT_KEY_PURPOSE_OID;
    purpose.data = reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_SERVER));
    unsigned status = 0;
    const unsigned timeBits = GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED;
    if (gnutls_certificate_verify_peers(FSession, &purpose, 1, &status) < 0 ||
        (status & ~(timeBits | GNUTLS_CERT_INVALID)) != 0) {
        error = {TlsFailure::UntrustedChain, 0, {}, {}};
        return false;
    }
    if (status != 0) {
        error = {(status & timeBits) ? TlsFailure::Expired : TlsFailure::UntrustedChain, 0, {}, {}};
        return false;
    }

    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(FSession, &count);
    gnutls_x509_crt_t leaf = nullptr;
    TlsCertificateNames names;
    if (chain && count > 0 && gnutls_x509_crt_init(&leaf) >= 0) {
        if (gnutls_x509_crt_import(leaf, &chain[0], GNUTLS_X509_FMT_DER) >= 0) {
            for (unsigned seq = 0;; ++seq) {
                char value[1024];
                size_t size = sizeof value;
                int type = gnutls_x509_crt_get_subject_alt_name(leaf, seq, value, &size, nullptr);
                if (type == GNUTLS_E_SHORT_MEMORY_BUFFER) continue; // no name of ours is that long
                if (type < 0) break;
                if (type == GNUTLS_SAN_DNSNAME)
                    names.DnsNames.emplace_back(value, size);
                else if (type == GNUTLS_SAN_IPADDRESS)
                    names.IpAddresses.emplace_back(value, value + size);
            }
        }
        gnutls_x509_crt_deinit(leaf);
    }
    std::vector<uint8_t> address;
    AddressLiteralBytes(host, address);
    if (!TlsNamesCoverHost(names, host, address)) {
        error = {TlsFailure::WrongHost, 0, {}, {}};
        return false;
    }
    return true;
}

int64_t GnuTlsSession::Receive(void* buffer, size_t count, int timeoutMs, int& error) {
    StartCall(timeoutMs);
    for (;;) {
        ssize_t n = gnutls_record_recv(FSession, buffer, count);
        if (n >= 0) return n;
        if (n == GNUTLS_E_AGAIN && FWaitEnded) {
            error = timeoutMs == 0 ? wsa::WouldBlock : wsa::TimedOut;
            return -1;
        }
        // A connection closed without a close notify ends the data as a
        // close does; the HTTP layer's own lengths tell a cut body.
        if (n == GNUTLS_E_PREMATURE_TERMINATION && FSocketError == 0) return 0;
        // A renegotiation request is declined by not answering it; warnings
        // and interruptions are read over.
        if (!gnutls_error_is_fatal(static_cast<int>(n)) || n == GNUTLS_E_REHANDSHAKE) continue;
        error = FSocketError != 0 ? FSocketError : wsa::ConnAborted;
        return -1;
    }
}

int64_t GnuTlsSession::Send(const void* buffer, size_t count, int& error) {
    StartCall(-1);
    size_t sent = 0;
    while (sent < count) {
        ssize_t n =
            gnutls_record_send(FSession, static_cast<const char*>(buffer) + sent, count - sent);
        if (n == GNUTLS_E_INTERRUPTED || n == GNUTLS_E_AGAIN) continue;
        if (n < 0) {
            error = FSocketError != 0 ? FSocketError : wsa::ConnAborted;
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(count);
}

void GnuTlsSession::CloseNotify() {
    StartCall(0);
    gnutls_bye(FSession, GNUTLS_SHUT_WR);
}

} // namespace

std::unique_ptr<tls::AdapterSession> tls::NewAdapterSession(SocketHandle s) {
    return std::make_unique<GnuTlsSession>(s);
}

} // namespace platform
