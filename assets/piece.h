// The intro's music: "Jingle Bells" (James Lord Pierpont, 1857) arranged for eight channels.
#pragma once

#include <string>

#include "assets/xm.h"

namespace assets {

// The module as records; false (and *error) when the score does not add up.
bool make_piece(XmModule* module, std::string* error);

}  // namespace assets
