// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map book ready to print, as a user leaves it: the demo town with a grid saved as
// C:\town\town.json, the window applied to the grid, the frame selected, "A - Print all
// maps" chosen, and a layout that carries a title and the date keyword.

#include <filesystem>
#include <memory>
#include <string>

#include "host/carto/elements.h"
#include "host/carto/page_layout.h"
#include "host/render/printer.h"
#include "mapbooks/mapbooks_fixture.h"
#include "support/run_command.h"

class PrintBook : public ProgramTest {
 protected:
  void TearDown() override {
    host::render::SetCurrentPrinter(nullptr);
    host::render::SetJobDocument("");
    host::render::SetJobPage("");
    ProgramTest::TearDown();
  }

  // columns x rows pages on a layout of width x height inches.
  void Start(int columns, int rows, double width = 8.5, double height = 11) {
    WriteTown(columns, rows);
    doc().FocusMap()->AddLayer(Layer("grid"));
    doc().PageLayout().Page().PutSize(width, height);
    AddText("Zelvane town atlas", height - 1);
    AddText("MBDATE", height - 1.5);
    doc().Save((DriveC() / "town" / "town.json").string());
    StartProgram();
    host::ui::ClearBoxLog();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    main().txtDir.paste("C:\\town");
    mapbooks::State().Config[mapbooks::RefreshDelay] = "0";
    main().optPrintAll.click();
  }

  static std::string PdfText(const std::filesystem::path& pdf) {
    return testing_support::RunCommand("pdftotext " + testing_support::ShellQuote(pdf.string()) + " -").out;
  }
  static std::string PdfInfo(const std::filesystem::path& pdf) {
    return testing_support::RunCommand("pdfinfo " + testing_support::ShellQuote(pdf.string())).out;
  }

 private:
  void AddText(const std::string& text, double y) {
    auto e = std::make_shared<host::carto::TextElement>(text);
    e->SetGeometry(host::geodata::Point{1, y});
    doc().PageLayout().AddElement(e);
  }
};
