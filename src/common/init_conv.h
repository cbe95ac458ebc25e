// The guard of one conversion run: traces when the run starts and ends (with the local date and
// time) and sets the converter's finished flag when it goes, whichever way the run ends. Lives on
// the stack of the thread that runs the conversion.
#pragma once

#include <atomic>

class init_conversion {
public:
    // `finished` is cleared now and set when the guard goes. `initialised` tells whether the
    // thread was prepared for the run already; this system needs no per-thread preparation, so
    // the flag is only kept for the callers that pass it.
    init_conversion(std::atomic<bool>* finished, bool initialised);
    ~init_conversion();

    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

private:
    std::atomic<bool>* finished_;
};
