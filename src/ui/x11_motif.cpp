// Loading the X11/Motif toolkit at run time, connecting to the display and
// running the event thread. The launcher is not linked with X11, Xt or Motif:
// the Motif library is opened with the dynamic loader and every toolkit call
// goes through the function table filled here.
#include "ui/x11_motif.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <ctime>

#include "base/locale.h"
#include "base/signals.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/x11_display.h"

namespace {

// Texts are drawn in a font set, so that every code set the locale may use
// (UTF-8, EUC-JP) shows its characters: the toolkit's default single font
// draws each byte as a Latin-1 character. The first name keeps the look of
// that default font; the second finds the Japanese fonts X servers carry.
char fontResource[] =
    "*fontList: -misc-fixed-medium-r-semicondensed--13-*-*-*-*-*-*-*;"
    "-*-*-medium-r-normal--14-*-*-*-*-*-*-*:";
String fallbackResources[] = {fontResource, nullptr};

const char* const motif_libraries[] = {
    "/usr/dt/lib/libXm.so.4", "libXm.so.4", "/usr/dt/lib/libXm.so.3", "libXm.so.3",
    "/usr/dt/lib/libXm.so.2", "libXm.so.2", "/usr/dt/lib/libXm.so.1", "libXm.so.1",
    "/usr/dt/lib/libXm.so",   "libXm.so",
};

void* libgui = nullptr;
// The table points at table while the toolkit is loaded.
X11Funcs table;
X11Funcs* x11funcs = nullptr;
Display* display = nullptr;
XtAppContext appcontext = nullptr;
Widget appshell = nullptr;
// Read by the event thread and by the windows without the lock.
std::atomic<bool> dispatch{false};
std::atomic<bool> connectionLost{false};
pthread_mutex_t lock;
pthread_mutexattr_t lockattributes;
pthread_t eventThread;
// Runs a due timer without waiting for X events; outside the table, since
// only the dispatching needs it and it can do without.
void (*processEvent)(XtAppContext, XtInputMask) = nullptr;

// Libraries from X11R7.7 on let a client survive the loss of its server: once
// the I/O error handler has returned, Xlib ends the process unless a
// display's exit handler returns instead. Later calls on that display fail
// without blocking.
using SetIOErrorExitHandlerFunc = void (*)(Display*, void (*)(Display*, void*), void*);

void KeepRunningAfterIOError(Display*, void*) { connectionLost = true; }

void SurviveServerLoss(Display* connection) {
  auto setExitHandler = reinterpret_cast<SetIOErrorExitHandlerFunc>(dlsym(libgui, "XSetIOErrorExitHandler"));
  if (setExitHandler != nullptr && connection != nullptr)
    setExitHandler(connection, KeepRunningAfterIOError, nullptr);
}

// Xt's error handlers take a message: the protocol error handler behind Xt's
// signature.
// The type of a two-argument function's second parameter, attributes and all.
template <typename F>
struct SecondParameter;
template <typename R, typename A, typename B>
struct SecondParameter<R (*)(A, B)> {
  using type = B;
};

void HandleXtError(String) { HandleX11Error(nullptr, nullptr); }

template <typename Func>
bool ResolveSlot(const char* name, Func* slot) {
  void* symbol = dlsym(libgui, name);
  if (symbol == nullptr) return false;
  *slot = reinterpret_cast<Func>(symbol);
  return true;
}

// Fills the table in slot order; false at the first name that isn't found.
bool ResolveAll(X11Funcs* funcs) {
#define BRAMLET_X11_RESOLVE(name) \
  if (!ResolveSlot(#name, &funcs->name)) return false;
  BRAMLET_X11_FUNCS(BRAMLET_X11_RESOLVE)
#undef BRAMLET_X11_RESOLVE
  return true;
}

// Tells the caller of LoadX11 why, when asked; gives no table.
X11Funcs* Failed(X11Failure* failure, X11Failure why) {
  if (failure != nullptr) *failure = why;
  return nullptr;
}

// Why there is no toolkit when the display was not tried with it: the
// display is tried on its own, only for a caller that asks.
X11Failure DisplayWithoutToolkit(const X11Failure* failure) {
  return failure != nullptr && IsDisplayReachable() ? X11Failure::kNoToolkit : X11Failure::kNoDisplay;
}

// Undoes whatever LoadX11 built, switches output to the console and reports
// why (Failed).
X11Funcs* TearDown(bool threadStarted, std::atomic<bool>* loading, X11Failure* failure, X11Failure why) {
  SetPrintToConsole(true);
  if (dispatch) {
    dispatch = false;
    // The thread sees dispatch cleared within one polling cycle.
    if (threadStarted) pthread_join(eventThread, nullptr);
    pthread_mutex_destroy(&lock);
    pthread_mutexattr_destroy(&lockattributes);
  }
  if (x11funcs != nullptr) {
    if (display != nullptr) x11funcs->XCloseDisplay(display);
    display = nullptr;
    x11funcs = nullptr;
  }
  processEvent = nullptr;
  appcontext = nullptr;
  appshell = nullptr;
  ForgetStatusWindow();
  if (libgui != nullptr) {
    dlclose(libgui);
    libgui = nullptr;
  }
  *loading = false;
  return Failed(failure, why);
}

// Creates the recursive toolkit lock; false (with nothing left to destroy)
// when it can't be made.
bool CreateLock() {
  if (pthread_mutexattr_init(&lockattributes) != 0) return false;
  if (pthread_mutexattr_settype(&lockattributes, PTHREAD_MUTEX_RECURSIVE) != 0 ||
      pthread_mutex_init(&lock, &lockattributes) != 0) {
    pthread_mutexattr_destroy(&lockattributes);
    return false;
  }
  return true;
}

// Gives the event thread the highest priority of its scheduling policy.
bool RaisePriority(pthread_t thread) {
  int policy;
  sched_param param;
  if (pthread_getschedparam(thread, &policy, &param) != 0) return false;
  param.sched_priority = sched_get_priority_max(policy);
  if (param.sched_priority == -1) return false;
  return pthread_setschedparam(thread, policy, &param) == 0;
}

// Connects to the display and creates the application shell; false when the
// display can't be opened.
bool Connect() {
  display = x11funcs->XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  x11funcs->XSetErrorHandler(HandleX11Error);
  x11funcs->XSetIOErrorHandler(HandleX11IOError);
  SurviveServerLoss(display);
  if (!x11funcs->XSupportsLocale()) {
    setlocale(LC_ALL, "C");
    UpdateLocale();
  }
  x11funcs->XSetLocaleModifiers("");

  int argc = 0;
  appshell = x11funcs->XtVaAppInitialize(&appcontext, GetTitle(), nullptr, 0, &argc, nullptr,
                                         fallbackResources, static_cast<char*>(nullptr));
  // The shell only parents the dialogs; it never shows itself.
  x11funcs->XtVaSetValues(appshell, "mappedWhenManaged", static_cast<XtArgVal>(False),
                          static_cast<char*>(nullptr));
  // Xt declares its error handlers as not returning where the compiler can
  // say so; this one returns, so that the launcher goes on on the console.
  x11funcs->XtAppSetErrorHandler(
      appcontext,
      reinterpret_cast<SecondParameter<decltype(x11funcs->XtAppSetErrorHandler)>::type>(HandleXtError));
  x11funcs->XtAppSetWarningHandler(appcontext, HandleX11Warning);
  x11funcs->XtRealizeWidget(appshell);
  // The shell's connection is Xt's own, not display.
  SurviveServerLoss(DisplayOfScreen(x11funcs->XtScreenOfObject(appshell)));

  return true;
}

// exit() destroys what the toolkit and its callbacks use (static objects,
// the libraries' own state) while the event thread goes on dispatching; so
// the process's end takes the toolkit lock and keeps it, and the thread
// waits there. A thread stuck in a call to a server that no longer answers
// keeps the lock: the end then waits for it 2 seconds at most.
void HoldToolkitAtExit() {
  if (!dispatch) return;
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 2;
  pthread_mutex_timedlock(&lock, &deadline);
}

}  // namespace

X11Funcs* LoadX11(bool, X11Failure* failure) {
  // Once loaded, the toolkit stays until the process ends: any thread gets
  // the table at once.
  static std::atomic<X11Funcs*> loaded{nullptr};
  if (X11Funcs* funcs = loaded) return funcs;
  // A call that interrupts a running one (from the cleanup path) gets no
  // toolkit rather than a half-built one, and is told of no display.
  static std::atomic<bool> loadingx11{false};
  static bool nox11 = false;
  if (loadingx11.exchange(true)) return Failed(failure, X11Failure::kNoDisplay);
  if (nox11) {
    SetPrintToConsole(true);
    loadingx11 = false;
    return Failed(failure, DisplayWithoutToolkit(failure));
  }
  if (libgui == nullptr) {
    for (const char* name : motif_libraries) {
      libgui = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
      if (libgui != nullptr) break;
    }
    if (libgui == nullptr) {
      nox11 = true;
      return TearDown(false, &loadingx11, failure, DisplayWithoutToolkit(failure));
    }
  }
  if (x11funcs == nullptr) {
    x11funcs = &table;
    if (!ResolveAll(x11funcs)) return TearDown(false, &loadingx11, failure, DisplayWithoutToolkit(failure));
    processEvent = reinterpret_cast<decltype(processEvent)>(dlsym(libgui, "XtAppProcessEvent"));
  }
  if (appshell != nullptr) {
    loadingx11 = false;
    return x11funcs;
  }

  if (!RunWatchingSignals(Connect)) return TearDown(false, &loadingx11, failure, X11Failure::kNoDisplay);

  // The display has been reached: what fails from here on is the toolkit.
  if (!dispatch) {
    if (!CreateLock()) return TearDown(false, &loadingx11, failure, X11Failure::kNoToolkit);
    dispatch = true;
  }
  if (pthread_create(&eventThread, nullptr, DispatchX11Events, nullptr) != 0) {
    return TearDown(false, &loadingx11, failure, X11Failure::kNoToolkit);
  }
  if (!RaisePriority(eventThread)) return TearDown(true, &loadingx11, failure, X11Failure::kNoToolkit);
  static bool heldAtExit = false;
  if (!heldAtExit) heldAtExit = atexit(HoldToolkitAtExit) == 0;
  loaded = x11funcs;
  loadingx11 = false;
  return x11funcs;
}

void* DispatchX11Events(void* argument) {
  if (!dispatch || x11funcs == nullptr || appcontext == nullptr) return argument;
  AlternateSignalStack faultStack;
  do {
    // Once the server is gone, Xlib may block in any call on the connection.
    if (dispatch && !connectionLost && LockToolkit()) {
      while (!connectionLost && DispatchPendingInput()) {
      }
      UnlockToolkit();
    }
    timespec cycle = {0, 100000000};
    nanosleep(&cycle, nullptr);
  } while (dispatch && x11funcs != nullptr && appcontext != nullptr);
  return argument;
}

bool DispatchPendingInput() {
  XtInputMask pending = x11funcs->XtAppPending(appcontext);
  if (pending & XtIMXEvent) {
    XEvent event;
    x11funcs->XtAppNextEvent(appcontext, &event);
    x11funcs->XtDispatchEvent(&event);
    return true;
  }
  // With nothing but a timer due, XtAppNextEvent would run it and then block
  // until the server sends something; a timer is run on its own instead.
  if ((pending & XtIMTimer) && processEvent != nullptr) {
    processEvent(appcontext, XtIMTimer);
    return true;
  }
  return false;
}

int HandleX11Error(Display*, XErrorEvent*) {
  SetPrintToConsole(true);
  return 0;
}

int HandleX11IOError(Display*) {
  SetPrintToConsole(true);
  connectionLost = true;
  return 0;
}

void HandleX11Warning(String) {}

bool IsDispatching() { return dispatch; }

bool LockToolkit() { return pthread_mutex_lock(&lock) == 0; }

void UnlockToolkit() { pthread_mutex_unlock(&lock); }

bool IsX11ConnectionLost() { return connectionLost; }

Display* GetX11Display() { return display; }

XtAppContext GetAppContext() { return appcontext; }

Widget GetAppShell() { return appshell; }
