// Exception texts and the two error boxes.
#include "ui/forms/ExceptionDisplay.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <typeinfo>

#include "ui/classes/SysUtils.h"
#include "ui/forms/MessageBoxes.h"

namespace {

std::string OwnMessage(const std::exception& E) {
  if (const auto* framework = dynamic_cast<const Exception*>(&E)) return framework->Message();
  return E.what() != nullptr ? std::string(E.what()) : std::string();
}

// Offset of an address inside the module that holds it, or the address itself.
uintptr_t ModuleRelative(void* address) {
  Dl_info info{};
  if (address != nullptr && dladdr(address, &info) != 0 && info.dli_fbase != nullptr) {
    return reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase);
  }
  return reinterpret_cast<uintptr_t>(address);
}

}  // namespace

std::string InnermostMessage(const std::exception& E) {
  std::string message = OwnMessage(E);
  const auto* nested = dynamic_cast<const std::nested_exception*>(&E);
  // Walk the chain of wrapped exceptions; each level that has a message replaces the outer one.
  while (nested != nullptr && nested->nested_ptr() != nullptr) {
    try {
      std::rethrow_exception(nested->nested_ptr());
    } catch (const std::exception& inner) {
      const std::string innerMessage = OwnMessage(inner);
      if (!innerMessage.empty()) message = innerMessage;
      nested = dynamic_cast<const std::nested_exception*>(&inner);
      continue;
    } catch (...) {
    }
    break;
  }
  return message;
}

std::string ExceptionDisplayText(const std::exception& E) {
  std::string text = InnermostMessage(E);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

std::string ExceptionClassName(const std::exception& E) {
  if (const auto* framework = dynamic_cast<const Exception*>(&E)) return framework->ClassName();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(typeid(E).name(), nullptr, nullptr, &status), std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(typeid(E).name());
}

std::string ProgramFileName() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.filename().string();
}

std::string StartupFailureText(const std::exception& E) {
  std::string module = ProgramFileName();
  uintptr_t address = 0;
  if (const auto* framework = dynamic_cast<const Exception*>(&E)) {
    if (!framework->ModuleName().empty()) module = framework->ModuleName();
    address = ModuleRelative(framework->ExceptAddr());
  }
  char addressText[24];
  std::snprintf(addressText, sizeof addressText, "%08llX",
                static_cast<unsigned long long>(address));
  const std::string className = ExceptionClassName(E);
  std::string text =
      Format("Exception %s in Modul %s bei %s.", className.c_str(), module.c_str(), addressText);
  std::string message = InnermostMessage(E);
  text += "\n";
  text += message;
  if (!message.empty() && message.back() != '.') text += '.';
  text += "\n";
  return text;
}

void ShowStartupFailure(const std::exception& E) {
  MessageBoxRequest request;
  request.Title = "Anwendungsfehler";
  request.Text = StartupFailureText(E);
  request.Icon = MessageBoxIcon::Error;
  request.Buttons = MessageBoxButtons::Ok;
  request.Owner = nullptr;
  request.TaskModal = true;
  MessageBoxes().Show(request);
}

void ShowExceptionBox(const std::exception& E, const std::string& title, QWidget* owner) {
  MessageBoxRequest request;
  request.Title = title;
  request.Text = ExceptionDisplayText(E);
  request.Icon = MessageBoxIcon::Error;
  request.Buttons = MessageBoxButtons::Ok;
  request.Owner = owner;
  MessageBoxes().Show(request);
}
