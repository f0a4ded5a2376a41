#pragma once

#include <exception>

#include "base/Exception.h"
#include "platform/Application.h"

// Runs a call from the toolkit into the window's logic. An exception that leaves it goes to
// the application's reporting and never unwinds through the toolkit.
template <class TAction>
void Guarded(TAction&& Action) noexcept {
  try {
    Action();
  } catch (const std::exception& E) {
    Application().HandleException(E);
  } catch (...) {
    Application().HandleException(Exception("Unknown exception"));
  }
}
