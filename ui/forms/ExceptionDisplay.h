// The texts and boxes with which the framework shows exceptions to the user:
//  - the application's exception display (an exception that left an event handler), and
//  - the runtime's error box for an exception that ended the program's start-up.
// Both go through MessageBoxes(); see Forms.h for who calls them.
#pragma once

#include <exception>
#include <string>

class QWidget;

// The message of an exception; for an exception that wraps others (std::nested_exception) the
// innermost non-empty message.
std::string InnermostMessage(const std::exception& E);

// The text of the exception display: the innermost message with a "." added when its last
// character sorts after "." (so a message ending in ".", a blank or a digit gets none).
std::string ExceptionDisplayText(const std::exception& E);

// The class name shown for an exception: Exception::ClassName(), else the demangled C++ type.
std::string ExceptionClassName(const std::exception& E);

// The start-up failure text:
//   "Exception <class> in Modul <module> bei <address>." line break
//   <message> ["." when the message is not empty and does not end with one] line break
// The address is given as eight hexadecimal digits: the offset of the raise site inside its
// module (so it fits eight digits and can be looked up in the module), or the plain address when
// the module is unknown. A non-Exception std::exception names the program as its module.
std::string StartupFailureText(const std::exception& E);

// Shows the start-up failure box: no owner, modal to the whole application, error icon, OK,
// titled "Anwendungsfehler".
void ShowStartupFailure(const std::exception& E);

// Shows the exception display: error icon, OK, owned by `owner`, titled `title`.
void ShowExceptionBox(const std::exception& E, const std::string& title, QWidget* owner);

// The file name (without folder) of the running program.
std::string ProgramFileName();
