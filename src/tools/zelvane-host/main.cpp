// SPDX-License-Identifier: GPL-3.0-or-later
// zelvane-host: the host's command line. Registers plug-in libraries, lists their
// commands, and runs the host headless: open a document, click commands, play a script.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/app/application.h"
#include "host/app/registry.h"
#include "host/app/script.h"
#include "host/ui/boxes.h"
#include "host/ui/user.h"
#include "host/vb/error.h"

namespace {

int fail(const std::string& reason) {
  std::cerr << "zelvane-host: " << reason << "\n";
  return 1;
}

struct RunOptions {
  std::string document;
  std::vector<std::string> clicks;
  std::string script;
  std::string transcript;
  std::string save_document;
  bool strict = false;
};

int run(const RunOptions& o) {
  using namespace host;
  std::string script_text;
  if (!o.script.empty()) {
    std::ifstream in(o.script, std::ios::binary);
    if (!in) return fail("cannot read the script " + o.script);
    std::ostringstream s;
    s << in.rdbuf();
    script_text = s.str();
  }
  std::ofstream transcript;
  if (!o.transcript.empty()) {
    transcript.open(o.transcript, std::ios::binary | std::ios::trunc);
    if (!transcript) return fail("cannot write the transcript " + o.transcript);
  }
  ui::ScriptedUser& user = ui::ScriptedUser::Instance();
  user.SetPolicy(o.strict ? ui::UnansweredPolicy::Fail : ui::UnansweredPolicy::Default);
  ui::SetBoxListener([&](const ui::BoxRecord& box) {
    if (transcript.is_open()) transcript << box.TranscriptLine() << "\n" << std::flush;
  });

  app::Application application;
  app::Script script(application, std::cout);
  script.Read(script_text);  // a script that is not understood stops before anything runs
  // The commands find the document in place when they are created.
  if (!o.document.empty()) application.OpenDocument(o.document);
  application.CreateCommands();
  for (const std::string& name : o.clicks) {
    if (!application.FindCommand(name)) return fail("unknown command " + name);
    script.AddCommandClick(name);
  }
  script.Play();
  // An explicit request: saved also when the shutdown question was answered No.
  if (!o.save_document.empty()) application.SaveDocument(o.save_document);
  // The windows close while their boxes still reach the transcript.
  application.End();
  ui::SetBoxListener(nullptr);
  // A program a command started that failed (a PDF join) was told in its box; the exit
  // status tells a script too.
  return application.FailedBackgroundWork() > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"zelvane-host: the map-book host, headless"};
  cli.require_subcommand(1);

  std::string library;
  auto* reg = cli.add_subcommand("register", "Register the command classes of a plug-in library");
  reg->add_option("LIB", library, "the plug-in library (.so)")->required();
  auto* unreg = cli.add_subcommand("unregister", "Remove the command classes of a plug-in library");
  unreg->add_option("LIB", library, "the plug-in library (.so)")->required();
  cli.add_subcommand("commands", "List the registered commands by name");

  RunOptions o;
  auto* run_cmd = cli.add_subcommand("run", "Start the host headless, click commands and play a script");
  run_cmd->add_option("--document", o.document, "the map document to open");
  run_cmd->add_option("--click", o.clicks, "click the command of this name (repeatable, in order)");
  run_cmd->add_option("--script", o.script, "the script of user actions to play");
  run_cmd->add_option("--transcript", o.transcript, "write every message and input box here");
  run_cmd->add_option("--save-document", o.save_document, "save the document here at the end");
  run_cmd->add_flag("--strict", o.strict, "fail on a box or a window that the script leaves unanswered");

  CLI11_PARSE(cli, argc, argv);
  try {
    if (reg->parsed()) {
      host::app::RegisterLibrary(library);
      return 0;
    }
    if (unreg->parsed()) {
      host::app::UnregisterLibrary(library);
      return 0;
    }
    if (cli.got_subcommand("commands")) {
      for (const auto& e : host::app::RegisteredCommands()) std::cout << e.name << "\n";
      return 0;
    }
    return run(o);
  } catch (const host::ui::ScriptError& e) {
    return fail(e.what());
  } catch (const host::vb::Error& e) {
    return fail(e.description());
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
