// The texts of the Windows Sockets error numbers, used on every platform
// (the POSIX socket layer maps its errors onto these numbers).
#include <utility>

#include "http/NetExceptions.h"
#include "platform/Sockets.h"
#include "runtime/Format.h"

namespace net {

namespace {

// Each text's id is this base plus its number (NetTexts.def).
constexpr int kSocketErrorTextBase = 50000;

} // namespace

std::string SocketErrorText(int error) {
    // Windows Sockets numbers lie from 10000 to 11999; a number without a
    // text of its own loads as the empty text.
    if (error < 10000 || error > 11999) return {};
    const rtl::TResStringRec rec{nullptr, static_cast<unsigned>(kSocketErrorTextBase + error)};
    return NetTexts.Load(rec);
}

void RaiseSocketError(int error) {
    rtl::TText message = rtl::Compose([error] {
        return NetTexts.Format(RSSocketErrorRes, {error, SocketErrorText(error)});
    });
    if (error == platform::wsa::NotASocket) throw ENetNotASocket(std::move(message), error);
    throw ENetSocketError(std::move(message), error);
}

} // namespace net
