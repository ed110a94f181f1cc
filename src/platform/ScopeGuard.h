// Runs a clean-up step when the scope ends, on every path out of it, unless
// the step is dismissed first because the work it would undo succeeded.
#pragma once

#include <utility>

namespace platform {

template <typename F>
class ScopeGuard {
public:
    explicit ScopeGuard(F step) : step_(std::move(step)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() {
        if (active_) step_();
    }
    void Dismiss() { active_ = false; }

private:
    F step_;
    bool active_ = true;
};

template <typename F>
ScopeGuard<F> OnScopeExit(F step) {
    return ScopeGuard<F>(std::move(step));
}

}  // namespace platform
