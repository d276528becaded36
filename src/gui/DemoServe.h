// SPDX-License-Identifier: GPL-3.0-or-later
// The bundled sample site for `albumora-gui --demo`: served on loopback by the test web, and
// reached through the engine's proxy setting, so the window works with no internet.
#pragma once

#include <memory>
#include <string>

namespace albumora::gui {

class DemoServer {
 public:
  // Starts the sample site and points the engine at it; nullptr with error set when it cannot.
  static std::unique_ptr<DemoServer> Start(std::string& error);
  // Stops the site and leaves the engine without a proxy.
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // The sample account number.
  static const char* Account();
  std::string Origin() const;

 private:
  DemoServer();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace albumora::gui
