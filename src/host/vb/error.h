// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Run-time errors as the command knows them: a number and a description.

#include <stdexcept>
#include <string>

namespace host::vb {

// The classic run-time error numbers the command and the host raise.
namespace err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int BadFileMode = 54;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int InputPastEndOfFile = 62;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int ObjectNotSet = 91;
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int KeyAlreadyExists = 457;
inline constexpr int HostFailure = 1000;  // a failing host call that has no classic number
}  // namespace err

// The text the classic numbers carry when no description is given.
std::string default_description(int number);

class Error : public std::runtime_error {
 public:
  explicit Error(int number, std::string description = {}, std::string source = {});
  int number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  int number_;
  std::string description_;
  std::string source_;
};

[[noreturn]] void raise(int number, std::string description = {});

}  // namespace host::vb
