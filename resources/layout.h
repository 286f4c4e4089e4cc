// Layout numbers shared by the dialog templates (dialog units).
#pragma once

#define QVL_MARGIN 7
#define QVL_BUTTON_W 50
#define QVL_BUTTON_H 14
#define QVL_EDIT_H 14
#define QVL_LABEL_H 10
#define QVL_DIALOG_STYLE (DS_MODALFRAME | DS_CENTER | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define QVL_DIALOG_FONT 9, "MS Shell Dlg"
