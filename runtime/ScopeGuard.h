#pragma once
// Work finished or undone on the way out of a scope, instead of a catch-all
// that undoes and rethrows beside a second copy for the normal path. Each
// guard says when its action runs:
//
//   TScopeExit endWork([&] { EndWork(wmRead); });       // on every exit
//   TScopeFail removeFile([&] { DeleteFile(name); });   // only when an error leaves
//   ...                                                  // may raise
//
// A TScopeExit action belongs to the normal path too: when the scope ends
// normally, an error the action raises reaches the caller, as if the action
// had been written as the scope's last statement. Only while an error
// unwinds the stack is an error of either guard's action swallowed, since a
// second error during unwinding would end the program: the first error is
// the one that arrives. Whether the stack unwinds is told by the count of
// errors in flight, taken when the guard is made, so a guard made inside a
// destructor that runs during unwinding still knows its own scope.
#include <exception>
#include <utility>

namespace rtl {

namespace detail {

template <typename F> class TScopeAction {
  public:
    explicit TScopeAction(F action)
        : FAction(std::move(action)), FUncaught(std::uncaught_exceptions()) {}
    TScopeAction(const TScopeAction&) = delete;
    TScopeAction& operator=(const TScopeAction&) = delete;

    // The work is kept, or finished otherwise: the action will not run.
    void Dismiss() { FArmed = false; }

  protected:
    bool Armed() const { return FArmed; }
    bool Unwinding() const { return std::uncaught_exceptions() > FUncaught; }
    void RunSwallowing() {
        try {
            FAction();
        } catch (...) {
        }
    }

    F FAction;

  private:
    int FUncaught;
    bool FArmed = true;
};

} // namespace detail

// Runs its action on every way out of the scope.
template <typename F> class TScopeExit : public detail::TScopeAction<F> {
  public:
    explicit TScopeExit(F action) : detail::TScopeAction<F>(std::move(action)) {}
    ~TScopeExit() noexcept(false) {
        if (!this->Armed()) return;
        if (this->Unwinding())
            this->RunSwallowing();
        else
            this->FAction();
    }
};

// Runs its action only when the scope is left by an error.
template <typename F> class TScopeFail : public detail::TScopeAction<F> {
  public:
    explicit TScopeFail(F action) : detail::TScopeAction<F>(std::move(action)) {}
    ~TScopeFail() {
        if (this->Armed() && this->Unwinding()) this->RunSwallowing();
    }
};

} // namespace rtl
