// The loaded X11/Motif toolkit as the windows see it: the function table, the
// toolkit lock and the handles that LoadX11 made. Only the X11/Motif-specific
// files include this header; the headers it pulls in are needed for the
// function types only, the libraries themselves are opened at run time.
#pragma once

#include <X11/Intrinsic.h>
#include <X11/Xlib.h>
#include <Xm/MessageB.h>
#include <Xm/Xm.h>

#include "ui/toolkit.h"

// The toolkit entry points, in the order of their slots in the table.
// clang-format off
#define BRAMLET_X11_FUNCS(F)                                                                           \
  F(XCloseDisplay) F(XOpenDisplay) F(XRaiseWindow) F(XSetErrorHandler) F(XSetIOErrorHandler)           \
  F(XSetLocaleModifiers) F(XSupportsLocale) F(XmCreateErrorDialog) F(XmCreateInformationDialog)        \
  F(XmCreateTemplateDialog) F(XmMessageBoxGetChild) F(XmStringCreateLtoR) F(XmStringFree)              \
  F(XtAppNextEvent) F(XtAppPending) F(XtAppSetErrorHandler) F(XtAppSetWarningHandler)                  \
  F(XtDestroyWidget) F(XtDispatchEvent) F(XtGetValues) F(XtIsManaged) F(XtManageChild)                 \
  F(XtRealizeWidget) F(XtScreenOfObject) F(XtUnmanageChild) F(XtVaAppInitialize) F(XtVaSetValues)      \
  F(XtWindowOfObject)
// clang-format on

/// One slot per entry point, each with the type its library publishes.
struct X11Funcs {
#define BRAMLET_X11_SLOT(name) decltype(&::name) name;
  BRAMLET_X11_FUNCS(BRAMLET_X11_SLOT)
#undef BRAMLET_X11_SLOT
};


/// True while the toolkit lock exists and the event thread is meant to run.
bool IsDispatching();

/// Takes the recursive toolkit lock; false when it can't be taken. Every
/// toolkit call, from any thread, is made with it held.
bool LockToolkit();
void UnlockToolkit();

/// True once the connection to the X server has been lost for good.
bool IsX11ConnectionLost();

/// The display connection, the application context and the invisible
/// application shell (parent of every dialog); null while not loaded.
Display* GetX11Display();
XtAppContext GetAppContext();
Widget GetAppShell();

/// The event thread: dispatches pending X events every 100 milliseconds
/// while the toolkit is loaded. Returns its argument.
void* DispatchX11Events(void* argument);

/// Dispatches one pending X event or runs one timer that is due, without
/// waiting; false when nothing was pending. Called with the lock held.
bool DispatchPendingInput();

/// The X protocol error handler: switches output to the console; returns 0.
int HandleX11Error(Display* display, XErrorEvent* event);

/// The X I/O error handler: switches output to the console; returns 0.
int HandleX11IOError(Display* display);

/// The Xt warning handler: ignores the warning.
void HandleX11Warning(String message);

// Defined with the windows.

/// Shows widget (or raises it when already shown) centred on its screen;
/// a dialog larger than the screen is placed at 0 on that axis.
void CenterAndManageChild(Widget widget);

/// Forgets the status window, which went with the toolkit.
void ForgetStatusWindow();
