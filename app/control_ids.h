// Stable control identifiers of the main window. The end-to-end automation
// finds the controls by these IDs (GetDlgItem on the main window) as well as by
// class and position, so a number here never changes meaning.
#pragma once

// Main window class name, for FindWindow.
#define VX_FORM_CLASS L"TForm1"
// The hidden owner window whose title the taskbar shows.
#define VX_APP_CLASS L"TVuxorApplication"

#define IDC_MEMO1 101       // EDIT, multi-line log
#define IDC_EDIT1 102       // EDIT, current file
#define IDC_EDIT2 103       // EDIT, web-page pattern
#define IDC_BUTTON2 202     // BUTTON "停止杀毒"
#define IDC_BUTTON3 203     // BUTTON "全盘杀毒"
#define IDC_BUTTON4 204     // BUTTON "清空日志"
#define IDC_STATUSBAR1 301  // msctls_statusbar32, three panels
#define IDC_LABEL1 401      // STATIC "清除网页中的代码:", the caption of Edit2
