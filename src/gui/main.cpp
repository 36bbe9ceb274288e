// SPDX-License-Identifier: GPL-3.0-or-later
// zelvane-gui: the host with real windows. Opens a map document, shows the host's window
// with a toolbar button for every registered command, and runs the Qt event loop.
// For checks: --screenshot FILE writes a PNG of every visible window and exits, after
// clicking the commands named by --click.

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/gui_user.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "gui/screenshot.h"
#include "host/app/application.h"
#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/error.h"

namespace {

int fail(const std::string& reason) {
  std::fprintf(stderr, "zelvane-gui: %s\n", reason.c_str());
  return 1;
}

// Every window closes, newest first, without the save question.
void close_everything(gui::MainWindow& window) {
  host::ui::UnloadAllForms();
  window.CloseWithoutAsking();
}

}  // namespace

int main(int argc, char** argv) {
  // A screenshot needs no screen: without a display it is drawn off screen.
  bool wants_screenshot = false;
  for (int i = 1; i < argc; ++i) wants_screenshot |= std::string(argv[i]).rfind("--screenshot", 0) == 0;
  if (wants_screenshot && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ZelvaneMap"));
  QApplication::setStyle(QStringLiteral("Fusion"));
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSize(9);
  QApplication::setFont(font);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("ZelvaneMap: the map-book host with its windows"));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("DOCUMENT"), QStringLiteral("the map document to open"),
                               QStringLiteral("[DOCUMENT]"));
  QCommandLineOption screenshot_option(QStringLiteral("screenshot"),
                                       QStringLiteral("write a PNG of every visible window to FILE, then exit"),
                                       QStringLiteral("FILE"));
  QCommandLineOption click_option(QStringLiteral("click"),
                                  QStringLiteral("click the command of this name at start (repeatable, in order)"),
                                  QStringLiteral("NAME"));
  QCommandLineOption quit_option(QStringLiteral("quit-after-ms"),
                                 QStringLiteral("end (after the screenshot) this many milliseconds after start"),
                                 QStringLiteral("N"));
  parser.addOptions({screenshot_option, click_option, quit_option});
  parser.process(qapp);
  if (parser.positionalArguments().size() > 1) return fail("one map document at most");
  const QString document = parser.positionalArguments().value(0);
  const QString screenshot = parser.value(screenshot_option);
  const QStringList clicks = parser.values(click_option);
  int quit_after = -1;
  if (parser.isSet(quit_option)) {
    bool ok = false;
    quit_after = parser.value(quit_option).toInt(&ok);
    if (!ok || quit_after < 0) return fail("--quit-after-ms takes a number of milliseconds");
  }
  if (!screenshot.isEmpty() && quit_after < 0) quit_after = 0;
  const bool unattended = !screenshot.isEmpty() || quit_after >= 0;

  try {
    host::app::Application application;
    gui::GuiUser user;
    user.SetUnattended(unattended);
    if (QScreen* screen = QGuiApplication::primaryScreen())
      host::ui::Screen::Instance().SetSizePixels(screen->size().width(), screen->size().height());

    // The commands find the document in place when they are created.
    // A document or a plug-in that fails is shown, and the host goes on without it.
    auto warned = [&](auto step) {
      try {
        step();
      } catch (const std::exception& e) {
        if (unattended) return fail(gui::FailureText(e));
        QMessageBox::warning(nullptr, QStringLiteral("ZelvaneMap"), gui::ToQtLines(gui::FailureText(e)));
      }
      return 0;
    };
    if (!document.isEmpty()) {
      if (int rc = warned([&] { application.OpenDocument(gui::ToStd(document)); })) return rc;
    }
    if (int rc = warned([&] { application.CreateCommands(); })) return rc;
    std::vector<host::app::ICommand*> to_click;
    for (const QString& name : clicks) {
      host::app::ICommand* command = application.FindCommand(gui::ToStd(name));
      if (!command) return fail("unknown command " + gui::ToStd(name));
      to_click.push_back(command);
    }

    gui::MainWindow window(application);
    user.SetHostWindow(&window);
    window.show();

    int rc = 0;
    // Both run once the event loop runs; a click that opens a modal window goes on
    // in its own loop, where the screenshot still comes.
    QTimer::singleShot(0, &window, [&] {
      for (host::app::ICommand* command : to_click) application.Click(*command);
    });
    if (quit_after >= 0) {
      QTimer::singleShot(quit_after, &window, [&] {
        QApplication::processEvents();
        if (!screenshot.isEmpty() && !gui::WriteScreenshot(screenshot)) {
          rc = fail("cannot write the screenshot " + gui::ToStd(screenshot));
        }
        close_everything(window);
        QApplication::exit(rc);
      });
    }
    int exec_rc = qapp.exec();
    // The host ends while its windows and the user who answers their boxes are there.
    application.End();
    if (rc || exec_rc) return rc ? rc : exec_rc;
    // A program a command started failed (a PDF join): told in its box, and here.
    return application.FailedBackgroundWork() > 0 ? 1 : 0;
  } catch (const std::exception& e) {
    return fail(gui::FailureText(e));
  }
}
