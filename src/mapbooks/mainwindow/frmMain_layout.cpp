// The Layout tab: keyword text elements, the layout data frames and the location index.

#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

void frmMain::Command2_Click() {}
void frmMain::Command3_Click() {}
void frmMain::Command4_Click() {}
void frmMain::Command5_Click() {}
void frmMain::btnAddIndex_Click() {}
void frmMain::btnAddLocator_Click() {}
void frmMain::btnMapNumber_Click() {}
void frmMain::btnIndex_Click() {}

}  // namespace mapbooks
