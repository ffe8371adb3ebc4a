// The program's entry sequence, callable in-process so tests can run it with their own form
// creation. Nothing is read from the command line.
#pragma once

#include <functional>

// Initialises the application, sets MainFormOnTaskBar, runs CreateForms, runs the message loop
// until the application is terminated, then destroys the forms. Returns the exit code: 0 after
// a normal end; 1 when an exception left the sequence (the start-up failure box is shown first).
int RunProgram(const std::function<void()>& CreateForms);

// The sequence with the program's own forms: the main window TForm1 into Form1.
int RunProgram();
