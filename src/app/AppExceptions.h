#pragma once
// The controller's error handling: the error sink of the guarded calls and the error box shown
// for errors that escape a window handler.
//
// Guarded calls: Guarded(f) runs f and swallows an error of the program's ordinary hierarchy
// (tardivox::Exception and its subclasses) by handing it to IgnoreException; the caller then
// goes on with its next step. Anything else (std::bad_alloc, a logic error of the standard
// library) is not an ordinary component failure and propagates.
//
// Error box: ErrorBoxText gives the message as the box shows it (a full stop is appended when
// the last character's code is greater than that of the full stop, so "Erreur" becomes
// "Erreur." while "Erreur !" and "Erreur." stay as they are). ShowErrorBox shows it modally
// with the application title as caption, an error icon and one OK button.
//
// Threads: the window's thread.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

#include "core/Exceptions.h"

namespace tardivox {

// The error sink: deliberately does nothing.
void IgnoreException();

// Runs `call`; returns false when it raised an ordinary error, which is swallowed.
template <typename TCall>
bool Guarded(TCall&& call) {
  try {
    std::forward<TCall>(call)();
    return true;
  } catch (const Exception&) {
    IgnoreException();
    return false;
  }
}

// Shows an error box; replaceable in tests, where a modal box would block.
using TErrorBoxFunction = std::function<void(const QString& caption, const QString& message)>;

// The message of `error` with the full-stop rule applied (see the header comment).
QString ErrorBoxText(const QString& message);
QString ErrorBoxText(const std::exception& error);
// The application's title: its display name, or its name when no display name was set.
QString ApplicationTitle();
// A modal message box: `caption`, `message`, error icon, one OK button.
void ShowErrorBox(const QString& caption, const QString& message);

}  // namespace tardivox
