// Process-wide single instances (trace log, error handler, converter, the two engines, the
// wizard shell). The object registers itself when constructed and clears the registration when
// destroyed; a second instance or an access without one is an internal error.
#pragma once

#include "tk/tk_errco.h"
#include "tk/tk_log_fwd.h"

template <class T>
class tk_single_instance {
public:
    tk_single_instance(const tk_single_instance&) = delete;
    tk_single_instance& operator=(const tk_single_instance&) = delete;

    // The registered instance; an internal error when there is none.
    static T& get_instance() {
        if (instance_ == nullptr) throw tk_mail_assertion("tk_singl", 59);
        return *instance_;
    }
    static T* instance_ptr() {
        if (instance_ == nullptr) throw tk_mail_assertion("tk_singl", 66);
        return instance_;
    }
    static bool has_instance() noexcept { return instance_ != nullptr; }
    // The instance or null, for callers (like tracing) that must not fail.
    static T* peek_instance() noexcept { return instance_; }

protected:
    tk_single_instance() {
        if (instance_ != nullptr) throw tk_mail_assertion("tk_singl", 35);
        instance_ = static_cast<T*>(this);
    }
    // A destructor must not throw: a destruction without registration (which only a double
    // destruction could cause) is traced as the internal error it is, not raised.
    ~tk_single_instance() {
        if (instance_ == nullptr) {
            tk_trace_assertion_noexcept("tk_singl", 46);
            return;
        }
        instance_ = nullptr;
    }

private:
    static inline T* instance_ = nullptr;
};
