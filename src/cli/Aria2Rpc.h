// SPDX-License-Identifier: GPL-3.0-or-later
// Hands pictures to a running aria2 (a home server's, a NAS's) over its JSON-RPC interface:
// aria2.addUri per picture with its folder, file name and headers.
#pragma once

#include <string>
#include <vector>

namespace albumora::cli {

struct Aria2Entry;

class Aria2Rpc {
 public:
  // url: the RPC address ("http://HOST:6800/jsonrpc"); secret: --rpc-secret's token, or empty.
  Aria2Rpc(std::string url, std::string secret);

  // aria2.getVersion. False when the daemon cannot be reached or refuses (error says why).
  bool Check(std::string& version, std::string& error);
  // aria2.addUri for one picture; false with error set (aria2's message, or why it was not
  // reached).
  bool Add(const Aria2Entry& entry, std::string& error);
  // The last failure was no answer at all (the daemon is not there).
  bool Unreachable() const { return unreachable_; }

 private:
  bool Call(const std::string& method, const std::string& params, std::string& result,
            std::string& error);

  std::string url_;
  std::string secret_;
  bool unreachable_ = false;
  int id_ = 0;
};

}  // namespace albumora::cli
