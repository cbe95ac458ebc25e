// The wizard's converter: the shared converter plus the saved settings. It loads the settings
// of the last start when it is created and saves them when it is destroyed, through the key
// "Software\Ferrovane\Tarnbridge" of the current user (tk_reg_key).
#pragma once

#include <string>
#include <vector>

#include "common/quorvex_convertor.h"
#include "tk/tk_regk.h"

class wizard_convertor : public quorvex_convertor {
public:
    wizard_convertor();
    ~wizard_convertor() override;

    // Loads (false) or saves (true) the saved settings; true when every value was transferred.
    // A value that cannot be read leaves its setting unchanged.
    bool serialize(bool store);

protected:
    // The wizard converts only what the user selected and prints nothing.
    bool is_console() const override { return false; }
    // Shown in an error box on the window thread.
    void report_unexpected_failure(const char* text) override;

private:
    bool transfer_utf8(bool store, std::string& value, const char* name);
    tk_reg_key reg_key_;
};
