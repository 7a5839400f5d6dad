#include "http/NetTCPClient.h"

#include "http/NetExceptions.h"
#include "runtime/ScopeGuard.h"

namespace net {

TNetTCPConnection::~TNetTCPConnection() {
    if (FIOHandler) FIOHandler->Close();
}

void TNetTCPConnection::AttachIOHandler(TNetIOHandler* handler) {
    handler->SetWorkTarget(this);
    handler->OnStatus = [this](TNetComponent*, TNetStatus status, const std::string& text) {
        DoStatus(status, text);
    };
}

void TNetTCPConnection::SetIOHandler(TNetIOHandler* handler) {
    if (handler == FIOHandler) return;
    if (FIOHandler && FIOHandler->Opened()) FIOHandler->Close();
    FOwnedIOHandler.reset();
    FIOHandler = handler;
    if (handler) AttachIOHandler(handler);
}

bool TNetTCPConnection::Connected() {
    return FIOHandler && FIOHandler->Connected();
}

void TNetTCPConnection::Disconnect() {
    if (!FIOHandler || !FIOHandler->Opened()) return;
    DoStatus(TNetStatus::hsDisconnecting, NetTexts.Load(RSStatusDisconnectingRes));
    FIOHandler->Close();
    DoOnDisconnected();
    DoStatus(TNetStatus::hsDisconnected, NetTexts.Load(RSStatusDisconnectedRes));
}

void TNetTCPConnection::DoOnDisconnected() {
    if (OnDisconnected) OnDisconnected(this);
}

std::unique_ptr<TNetIOHandler> TNetTCPClientCustom::MakeIOHandler() {
    return std::make_unique<TNetIOHandlerStack>();
}

void TNetTCPClientCustom::Connect() {
    // Bytes left in the input buffer of a closed handler do not make it
    // connected: they are dropped when the handler opens again.
    if (FIOHandler && FIOHandler->Opened() && Connected())
        throw ENetAlreadyConnected(NetTexts.Compose(RSAlreadyConnectedRes));
    if (Host.empty()) throw ENetHostRequired(NetTexts.Compose(RSHostRequiredRes));
    if (Port == 0) throw ENetPortRequired(NetTexts.Compose(RSPortRequiredRes));
    bool created = false;
    if (!FIOHandler) {
        FOwnedIOHandler = MakeIOHandler();
        FIOHandler = FOwnedIOHandler.get();
        AttachIOHandler(FIOHandler);
        created = true;
    }
    // A connect that fails leaves the handler closed, and no handler at all
    // when this connect created it.
    rtl::TScopeFail undo([&] {
        FIOHandler->Close();
        if (created) {
            FOwnedIOHandler.reset();
            FIOHandler = nullptr;
        }
    });
    FIOHandler->Port = Port;
    FIOHandler->Host = Host;
    FIOHandler->ConnectTimeout = ConnectTimeout;
    FIOHandler->ReadTimeout = ReadTimeout;
    FIOHandler->IPVersion = IPVersion;
    FIOHandler->ReuseSocket = ReuseSocket;
    FIOHandler->UseNagle = UseNagle;
    FIOHandler->Open();
    if (!Host.empty() && Port > 0) FIOHandler->ConnectClient();
    DoStatus(TNetStatus::hsConnected, NetTexts.Load(RSStatusConnectedRes));
    if (OnConnected) OnConnected(this);
}

} // namespace net
