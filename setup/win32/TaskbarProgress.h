#pragma once
// The progress of the run on the program's taskbar button, where the system
// offers it (ITaskbarList3): the bar's fraction, paused while a broken
// connection waits, error after a failure, nothing once the run is over. A
// system without it simply shows none.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

struct ITaskbarList3;

namespace setup {

// The environment variable naming a file to which the end-to-end tests have
// every call recorded (one line each, with its result): Wine has no taskbar
// that shows the progress, so there the calls are what can be checked.
inline constexpr const char* STestTaskbarLogVariable = "SETUP_TEST_TASKBAR_LOG";

class TTaskbarProgress {
  public:
    enum class TState { None, Normal, Paused, Error };

    TTaskbarProgress() = default;
    ~TTaskbarProgress();
    TTaskbarProgress(const TTaskbarProgress&) = delete;
    TTaskbarProgress& operator=(const TTaskbarProgress&) = delete;

    // Takes the system's taskbar object for window's button; without one
    // the calls below do nothing.
    void Attach(HWND window);
    void SetState(TState state);
    // completed of total; drawn as the bar is, so only when the bar moves.
    void SetValue(uint64_t completed, uint64_t total);

  private:
    void Record(const std::string& call, long result);

    HWND FWindow = nullptr;
    ITaskbarList3* FList = nullptr;
    std::FILE* FLog = nullptr;
    TState FState = TState::None;
};

} // namespace setup
