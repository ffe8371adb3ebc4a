// The entry sequence of the upgrade tool.
#include "app/Program.h"

#include "app/Unit1.h"
#include "ui/forms/Forms.h"

int RunProgram(const std::function<void()>& CreateForms) {
  int exitCode = 0;
  try {
    Application->Initialize();
    Application->SetMainFormOnTaskBar(true);
    CreateForms();
    Application->Run();
  } catch (const std::exception& e) {
    ShowStartupFailure(e);
    exitCode = 1;
  } catch (...) {
    ShowStartupFailure(Exception("Unbekannte Ausnahme"));
    exitCode = 1;
  }
  // The end of the program: the forms go, and with them their components in reverse order.
  Application->DestroyComponents();
  return exitCode;
}

int RunProgram() {
  return RunProgram([] { Application->CreateForm<TForm1>(&Form1); });
}
