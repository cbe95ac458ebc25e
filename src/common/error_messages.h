// The user messages both front ends give the error handler: friendlier texts for the MySQL
// errors a user can act on, keyed by 0x400000 plus the MySQL client's error number.
#pragma once

#include "common/tk_error_converter.h"

extern const tk_error_pair qvx_error_messages[];
extern const int qvx_error_message_count;
