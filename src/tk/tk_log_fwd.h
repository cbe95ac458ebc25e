// The few trace entry points the single-instance base needs without including the log itself.
#pragma once

// Records an internal error in the trace without raising it (for destructors).
void tk_trace_assertion_noexcept(const char* source, int line) noexcept;
