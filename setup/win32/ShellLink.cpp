#include "setup/win32/ShellLink.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "runtime/ResStrings.h"

namespace setup {

using platform::win32::Wide;

namespace {

constexpr const char* kShellLinkClassId = "{00021401-0000-0000-C000-000000000046}";
// In-process or local server, as the shell's link object may be either.
constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

// The system's text for an HRESULT, in English in a message's English pass.
std::string SystemText(HRESULT hr) {
    std::string text;
    if (rtl::ComposingInEnglish()) {
        if (platform::SysErrorMessageEnglish(static_cast<int>(hr), text)) return text;
        rtl::NoEnglishRendering();
    }
    return platform::SysErrorMessage(static_cast<int>(hr));
}

// Releases a COM interface on every path.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (FPtr) FPtr->Release();
    }
    T** Receive() { return &FPtr; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(&FPtr); }
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }

private:
    T* FPtr = nullptr;
};

} // namespace

int ShowCommandFor(TShellLinkWindowState state) {
    switch (state) {
    // The link format knows only normal (1), maximised (3) and minimised
    // without activation (7); any other value, 6 included, opens a normal
    // window, so a minimised link is written with 7.
    case TShellLinkWindowState::wsMinimized: return SW_SHOWMINNOACTIVE;
    case TShellLinkWindowState::wsMaximized: return SW_SHOWMAXIMIZED;
    default: return SW_SHOWNORMAL;
    }
}

void TShellLink::Write() {
    ComRef<IUnknown> object;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, kClassContext, IID_IUnknown, object.ReceiveVoid());
    if (FAILED(hr)) {
        throw EOleSysError(rtl::Compose([hr] {
                               // Not every HRESULT has a system text; then the code itself is
                               // shown.
                               std::string reason = SystemText(hr);
                               if (reason.empty())
                                   reason = rtl::Format(rtl::LoadResString(&rtl::SOleError),
                                                        {static_cast<uint32_t>(hr)});
                               return rtl::Format(rtl::LoadResString(&rtl::SOleClassError),
                                                  {reason, kShellLinkClassId});
                           }),
                           hr);
    }

    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    if (FAILED(object->QueryInterface(IID_IShellLinkW, link.ReceiveVoid())) ||
        FAILED(object->QueryInterface(IID_IPersistFile, file.ReceiveVoid())))
        throw EIntfCastError(
            rtl::Compose([] { return rtl::LoadResString(&rtl::SIntfNotSupported); }));

    // The setters' results are not looked at: a link that cannot be completed
    // or saved is not an error of the caller's run.
    link->SetArguments(Wide(Arguments).c_str());
    link->SetDescription(Wide(Description).c_str());
    link->SetHotkey(HotKey);
    if (!IconFile.empty()) link->SetIconLocation(Wide(IconFile).c_str(), static_cast<int>(IconIndex));
    link->SetPath(Wide(ProgramFile).c_str());
    link->SetShowCmd(ShowCommandFor(WindowState));
    if (WorkingDirectory.empty()) WorkingDirectory = platform::ExtractFilePath(ProgramFile);
    link->SetWorkingDirectory(Wide(WorkingDirectory).c_str());
    file->Save(Wide(LinkFile).c_str(), FALSE);
}

} // namespace setup
