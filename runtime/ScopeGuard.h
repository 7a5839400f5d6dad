#pragma once
// Undo work on every way out of a scope, instead of a catch-all that undoes
// and rethrows beside a second copy of the undo for the normal path.
//
//   TScopeGuard endWork([&] { EndWork(wmRead); });        // always
//   TScopeGuard removeFile([&] { DeleteFile(name); });
//   ...                                                     // may raise
//   removeFile.Dismiss();                                   // kept on success
//
// The undo runs from a destructor, possibly while an error unwinds the stack:
// an error the undo itself raises is swallowed there, since a second error
// during unwinding would end the program. Undo that must report its own
// failure on the normal path is called explicitly instead.
#include <utility>

namespace rtl {

template <typename F> class TScopeGuard {
  public:
    explicit TScopeGuard(F undo) : FUndo(std::move(undo)) {}
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;
    ~TScopeGuard() {
        if (!FArmed) return;
        try {
            FUndo();
        } catch (...) {
        }
    }
    // The work is kept: the undo will not run.
    void Dismiss() { FArmed = false; }

  private:
    F FUndo;
    bool FArmed = true;
};

} // namespace rtl
