// Site recognition: the site index a typed address selects.
#pragma once

#include <string>

namespace albumora {

// The site index an address selects, or current when none matches.
int RecognizeSite(const std::string& text, int current);

}  // namespace albumora
