// SPDX-License-Identifier: GPL-3.0-or-later
// What a job or an adapter may ask of the person at the program: the address box's text, a
// message, a yes/no question, the login window. Every call may come from a job thread and
// returns when the person has answered.
#pragma once

#include <string>

namespace albumora {

class User {
 public:
  virtual ~User() = default;

  // The address box's text (1001), as typed.
  virtual std::string AddressText() = 0;
  // A modal message with an OK button; no title unless caption is given.
  virtual void ShowMessage(const std::string& text, const std::string& caption = {}) = 0;
  // A modal Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Opens the login window at the address and returns when the user has closed it.
  virtual void OpenLogin(const std::string& address) = 0;
};

}  // namespace albumora
