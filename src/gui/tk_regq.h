// The platform half of the wizard's toolkit services: the settings store behind tk_reg_key (a
// QSettings file of the organisation "Ferrovane" and application "Tarnbridge"), the clipboard
// and the bug report by e-mail. Window thread only.
#pragma once

#include <string>

// Installs the QSettings store for tk_reg_key. The key "Software\Ferrovane\Tarnbridge" of the
// current user is the top level of that file; other keys become groups of it.
void tk_install_settings_store();

// Puts the text on the clipboard; a failure is only traced.
void tk_copy_to_clipboard2(const std::u16string& text);

// The address that receives bug reports.
extern const char* const tk_support_address;
// Opens a mail to the support address through the desktop (subject "Bug report on " and the
// title, the text as body); no dialog of our own, a failure is only traced.
void tk_send_bug(const std::string& title, const std::string& text);
