#pragma once

#include <QString>

// Control-string notation: how start, end and status strings are typed and stored.
// Items, read left to right:
//   'text'   a quoted run, taken unchanged (no escape for the quote itself)
//   #13 #$41 a numbered character, 1 to 255, decimal or $hexadecimal
//   ^M       a caret character, code of the upper-case letter minus 64
//   x        any other character, itself
// Free functions without state, safe on any thread.

// Notation to plain text. Raises EConvertError on malformed notation.
QString CtrlStrToStr(const QString& notation);

// Plain text to notation; never fails. Character 0 is left out. For every text t
// without character 0, CtrlStrToStr(StrToCtrlStr(t)) == t.
QString StrToCtrlStr(const QString& plain);

// "COM" and the number as unsigned decimal; the number is not checked.
QString ComPortToStr(int portNumber);
