// The small modal dialogs: one-line text input (207), new password with confirmation (212),
// password prompt (214) and the about box (215). The procedures take no parameter: callers
// set the exchange slots just before the run and clear them right after (the helpers below
// do exactly that). All runs go through rezui::run_dialog, so tests can script them.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

extern const std::wstring* input_prompt;  // prompt of 207
extern std::wstring* input_text;          // initial text of 207 and, on OK, its result
extern const std::wstring* input_title;   // window title of 207 when set
extern std::wstring new_password_result;  // chosen in 212
extern const std::wstring* pwd_prompt_text;
extern const std::wstring* pwd_prompt_title;
extern std::wstring* pwd_prompt_result;
extern HFONT about_title_font;
extern HFONT about_body_font;

INT_PTR CALLBACK input_text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK new_password_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK password_prompt_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Runs 207 with the slots set; true (text updated) when it ended with OK. An empty title
// keeps the template's own caption.
bool ask_text(HWND owner, const std::wstring& title, const std::wstring& prompt, std::wstring& text);
// Runs 212; true with out set when it ended with OK (an empty password is a valid answer).
bool ask_new_password(HWND owner, std::wstring& out);
// Runs 214; true with out set when it ended with OK.
bool ask_password(HWND owner, const std::wstring& title, const std::wstring& prompt, std::wstring& out);
void show_about(HWND owner);

// "编译日期：YYYY-MM-DD hh:mm:ss" from the compiler's date and time texts.
std::wstring build_date_text();
std::wstring build_date_text_from(const char* date, const char* time);

}  // namespace rezui
