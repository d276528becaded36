// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora login`: the window program's login window for a site, whose cookies then go into
// the program folder's cookies.txt that `albumora list` and `albumora download` send from.
#pragma once

#include <string>

namespace albumora::cli {

struct LoginOptions {
  std::string site;     // key or index; empty: none
  std::string home;     // program folder
  std::string proxy;    // the browser's proxy (http://HOST:PORT)
  std::string address;  // start address; empty: the site's login page, or the clipboard's text
};

int RunLoginCommand(const LoginOptions& options);

// Whether a window can be shown here (an X11 or Wayland display, or a Qt platform chosen).
bool HasDisplay();
// What a job's login request tells the terminal user: `albumora login ADDRESS` where a display
// exists, otherwise a browser's cookies.txt export given with --cookies FILE.
std::string LoginAdvice(const std::string& address);

}  // namespace albumora::cli
