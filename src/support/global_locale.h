// The standard library's global locale as the plug-in wants it: the user's locale without
// digit grouping and with the user's date separator accepted in dates.
#pragma once

// Installs it and returns the name the runtime library's numeric locale should take: "" (the
// user's) or, when the standard library cannot build the user's locale by name, "English"; the
// latter then carries the user's decimal and thousands separators.
const char* InstallUserGlobalLocale(wchar_t dateSeparator, wchar_t decimalSeparator, wchar_t thousandsSeparator);

// Back to the classic global locale; the runtime library's own locale stays as it is.
void RestoreClassicGlobalLocale();
