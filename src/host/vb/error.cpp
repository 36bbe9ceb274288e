// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/error.h"

namespace host::vb {

std::string default_description(int number) {
  switch (number) {
    case err::InvalidCall: return "Invalid procedure call or argument";
    case err::Overflow: return "Overflow";
    case err::SubscriptOutOfRange: return "Subscript out of range";
    case err::DivisionByZero: return "Division by zero";
    case err::TypeMismatch: return "Type mismatch";
    case err::BadFileNameOrNumber: return "Bad file name or number";
    case err::FileNotFound: return "File not found";
    case err::BadFileMode: return "Bad file mode";
    case err::FileAlreadyOpen: return "File already open";
    case err::FileAlreadyExists: return "File already exists";
    case err::InputPastEndOfFile: return "Input past end of file";
    case err::PermissionDenied: return "Permission denied";
    case err::PathFileAccessError: return "Path/File access error";
    case err::PathNotFound: return "Path not found";
    case err::ObjectNotSet: return "Object variable or With block variable not set";
    case err::InvalidUseOfNull: return "Invalid use of Null";
    case err::KeyAlreadyExists: return "This key is already associated with an element of this collection";
    default: return "Application-defined or object-defined error";
  }
}

static std::string describe(int number, std::string description) {
  return description.empty() ? default_description(number) : description;
}

Error::Error(int number, std::string description, std::string source)
    : std::runtime_error(describe(number, description)),
      number_(number),
      description_(describe(number, std::move(description))),
      source_(std::move(source)) {}

void raise(int number, std::string description) { throw Error(number, std::move(description)); }

}  // namespace host::vb
