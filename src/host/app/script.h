// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted session of the host: lines of user actions played against the windows,
// as the command line's "run --script" plays them.
//
//   click FORM.CONTROL            type FORM.CONTROL "text"     key FORM.CONTROL CODE
//   settext FORM.CONTROL "text"   pick FORM.CONTROL "item"|#I  select FORM.CONTROL "item"|#I on|off
//   leave FORM.CONTROL            tab FORM.CONTROL N           scroll FORM.CONTROL VALUE
//   dblclick FORM.CONTROL "item"|#I                            open FORM.CONTROL "folder"
//   close FORM                    answer Yes|No|OK|Cancel      input "text" | input cancel
//   print FORM.CONTROL            command NAME
//
// and, on the map document:
//
//   view layout|data              focus-map MAP                select-features LAYER "where clause"
//   clear-selection               print-extent MAP             print-scale MAP
//   save-document [FILE]         export FORMAT DPI FOLDER NAME
//
// MAP is a map's name or #INDEX (from 0); LAYER is found in the focus map as the command
// finds layers (the last of that name without regard to case, one level into groups).
//
// Blank lines and lines starting with # are ignored; texts in double quotes take \" and \\.
// FORM is the newest loaded window of that name.

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "host/ui/user.h"

namespace host::app {

class Application;

class Script {
 public:
  // The words of one line: the verb first; quoted texts come without their quotes.
  struct Line {
    int number = 0;
    std::vector<std::string> words;
    std::vector<bool> quoted;  // which words were quoted
    std::string where() const { return "line " + std::to_string(number); }
  };
  // A verb checks its line when the script is read and returns the action to play.
  using Verb = std::function<std::function<void()>(const Line&)>;

  Script(Application& app, std::ostream& out);

  // Adds a verb (the document verbs come from the map document layer).
  void AddVerb(const std::string& name, Verb verb);
  // Reads a whole script; a line that is not understood fails with a ScriptError
  // before anything is played.
  void Read(const std::string& text);
  // A click of a registered command, played before the script's lines.
  void AddCommandClick(const std::string& name);
  // Plays the clicks and the script, shutting the host down when it asks to.
  void Play();

  std::ostream& Out() { return out_; }
  Application& App() { return app_; }

  // Splits one line into words (quoted texts with \" and \\); a ScriptError names the line.
  static Line Tokenize(const std::string& text, int number);

 private:
  // export FORMAT DPI FOLDER NAME: the active view written as the command's export writes it.
  void AddExportVerb();

  Application& app_;
  std::ostream& out_;
  std::map<std::string, Verb> verbs_;
  std::vector<ui::ScriptedUser::Action> clicks_, actions_;
};

}  // namespace host::app
