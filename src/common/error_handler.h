// Where every caught failure ends: turns a tk_exception into a one-line user message (prefixed
// with the context of the failure, replaced by the friendly text of its code when there is one),
// traces it, prints it and acts on its level: 0 returns to the caller, 1 ends the process with
// status -1, 2 (internal error) prints "Internal error: " and the text even when silent and ends
// the process with -1. This is the console's handler: it prints on standard output. One per
// process (single instance); used from one thread.
#pragma once

#include <cstdint>
#include <string>

#include "common/tk_error_converter.h"
#include "tk/tk_errco.h"
#include "tk/tk_singl.h"

class error_handler : public tk_single_instance<error_handler> {
public:
    error_handler(int count, const tk_error_pair* table);
    virtual ~error_handler();

    void load_err_map(int count, const tk_error_pair* table);

    // The table (or query) being converted.
    void set_context(const std::u16string& table_name);
    // The table and the 1-based number of the record being converted: "name, record #n".
    void set_context(const std::u16string& table_name, int32_t record_number);
    // Any text; the empty text clears the context.
    void set_context(std::string context) { context_ = std::move(context); }
    const std::string& context() const { return context_; }

    void set_silent(bool silent) { silent_ = silent; }
    bool silent() const { return silent_; }

    // Reports the failure as described above. The stop flag matters only to the wizard, which
    // may abandon a run when it is 0 (the wizard's handler derives from this one and shows
    // dialogs instead of printing).
    virtual void handle(const tk_exception& e, int stop);

    // The message handle() reports for e: the context and ": " when there is a context, then
    // the code's message or, without one, e's text. handle() prints it as one line.
    std::string build_message(const tk_exception& e) const;

private:
    std::string context_;
    bool silent_ = false;
    tk_error_converter messages_;
};
