#include "setup/win32/TaskbarProgress.h"

#include <shobjidl.h>

#include "platform/Process.h"
#include "platform/win32/Wide.h"

namespace setup {

namespace {

TBPFLAG FlagOf(TTaskbarProgress::TState state) {
    switch (state) {
    case TTaskbarProgress::TState::Normal:
        return TBPF_NORMAL;
    case TTaskbarProgress::TState::Paused:
        return TBPF_PAUSED;
    case TTaskbarProgress::TState::Error:
        return TBPF_ERROR;
    case TTaskbarProgress::TState::None:
        break;
    }
    return TBPF_NOPROGRESS;
}

const char* NameOf(TTaskbarProgress::TState state) {
    switch (state) {
    case TTaskbarProgress::TState::Normal:
        return "normal";
    case TTaskbarProgress::TState::Paused:
        return "paused";
    case TTaskbarProgress::TState::Error:
        return "error";
    case TTaskbarProgress::TState::None:
        break;
    }
    return "none";
}

} // namespace

TTaskbarProgress::~TTaskbarProgress() {
    if (FList) FList->Release();
    if (FLog) std::fclose(FLog);
}

void TTaskbarProgress::Attach(HWND window) {
    if (FList || FWindow) return;
    FWindow = window;
    const std::string log = platform::GetEnvVar(STestTaskbarLogVariable);
    if (!log.empty()) FLog = _wfopen(platform::win32::Wide(log).c_str(), L"w");
    // The taskbar's object is the shell's, created as the shortcut's is; the
    // button exists once the window was shown, which the run follows.
    HRESULT hr = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskbarList3, reinterpret_cast<void**>(&FList));
    if (SUCCEEDED(hr) && FAILED(FList->HrInit())) {
        FList->Release();
        FList = nullptr;
        hr = E_FAIL;
    }
    Record("attach", hr);
}

void TTaskbarProgress::SetState(TState state) {
    if (state == FState) return;
    FState = state;
    Record(std::string("state ") + NameOf(state),
           FList ? FList->SetProgressState(FWindow, FlagOf(state)) : E_NOINTERFACE);
}

void TTaskbarProgress::SetValue(uint64_t completed, uint64_t total) {
    if (FState != TState::Normal && FState != TState::Paused) return;
    Record("value " + std::to_string(completed) + " " + std::to_string(total),
           FList ? FList->SetProgressValue(FWindow, completed, total) : E_NOINTERFACE);
}

void TTaskbarProgress::Record(const std::string& call, long result) {
    if (!FLog) return;
    std::fprintf(FLog, "%s %s\n", call.c_str(), SUCCEEDED(result) ? "ok" : "failed");
    std::fflush(FLog);
}

} // namespace setup
