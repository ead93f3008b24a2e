// The setup dialog (template 109): shows the configuration and writes it to the registry on OK.
#pragma once
#include <windows.h>
#include <commdlg.h>

// The dialog procedure. OK writes every value and ends the dialog with 1; Cancel, Esc and the
// close box end it with 0 and write nothing. Of the state record it changes only timerEnabled
// and timer; callers load the configuration again afterwards.
INT_PTR CALLBACK setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the dialog modally, owned by the notification window. Returns the dialog's result, or -1
// when it could not be shown.
INT_PTR runSetupDialog();

// The common "Open" dialog behind the two "..." buttons. Tests point it elsewhere to choose or
// cancel without a file dialog on screen.
using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEA);
extern GetOpenFileNameFn getOpenFileName;
