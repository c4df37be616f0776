// The Motif status window and modal message boxes of graphical mode. Every
// toolkit call goes through the function table of the loaded toolkit and is
// made with the toolkit lock held; whenever a window can't be made, the text
// goes to the console instead.
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/memory.h"
#include "core/profile.h"
#include "ui/catalogue.h"
#include "ui/windows.h"
#include "ui/x11_motif.h"

namespace {

static_assert(XmDIALOG_CANCEL_BUTTON == 2 && XmDIALOG_OK_BUTTON == 4 && XmDIALOG_HELP_BUTTON == 7 &&
                  XmDIALOG_SEPARATOR == 14,
              "message box children");
static_assert(XmRESIZE_GROW == 1 && XmALIGNMENT_CENTER == 1 && XmDIALOG_MODELESS == 0 &&
                  XmDIALOG_PRIMARY_APPLICATION_MODAL == 1,
              "message box resource values");

// The Motif default font-list tag.
char kDefaultTag[] = "FONTLIST_DEFAULT_TAG_STRING";

constexpr size_t kRoomStep = 1024;

// No window-manager decorations or functions at all for the status window;
// for a message box everything but resize handles, minimise and maximise.
constexpr XtArgVal kStatusDecorations = 0;
constexpr XtArgVal kStatusFunctions = 0;
constexpr XtArgVal kBoxDecorations = 1 + 4 + 32 + 64;
constexpr XtArgVal kBoxFunctions = 1 + 2 + 8 + 16;

Widget statusdialog = nullptr;

// The pending text of each function: a composed text that didn't end with a
// newline, put in front of the next one. The mutexes keep a text printed
// from the cleanup path on another thread from racing the main thread's.
char* statusCachedmessage = nullptr;
char* boxCachedmessage = nullptr;
std::mutex statusTextMutex;
std::mutex boxTextMutex;

// Returns the pending text followed by the formatted text, whole, as a new
// heap string, and clears the pending text. *count receives the number of
// characters the format produced; a format that the formatter rejects
// produces none.
char* ComposeText(char** cachedmessage, const char* format, va_list args, int* count) {
  size_t pending = *cachedmessage != nullptr ? strlen(*cachedmessage) : 0;
  size_t room = kRoomStep;
  char* text;
  for (;;) {
    text = static_cast<char*>(MemAlloc(pending + room));
    if (pending > 0) memcpy(text, *cachedmessage, pending);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(text + pending, room, format, copy);
    va_end(copy);
    if (n < 0) {
      text[pending] = '\0';
      *count = 0;
      break;
    }
    if (static_cast<size_t>(n) < room) {
      *count = n;
      break;
    }
    free(text);
    // The formatter told the length, so the next round holds it.
    room = (static_cast<size_t>(n) / kRoomStep + 1) * kRoomStep;
  }
  free(*cachedmessage);
  *cachedmessage = nullptr;
  return text;
}

// Writes text as it is (it is not a format any more); returns the number of
// characters written.
int WriteText(FILE* stream, const char* text) {
  return static_cast<int>(fwrite(text, 1, strlen(text), stream));
}

// True (and the final newline cut off) when text forms complete lines.
bool CutFinalNewline(char* text) {
  size_t length = strlen(text);
  if (length == 0 || text[length - 1] != '\n') return false;
  text[length - 1] = '\0';
  return true;
}

void SetArg(Arg* arg, const char* name, XtArgVal value) {
  arg->name = const_cast<char*>(name);
  arg->value = value;
}

// A compound string of text (newlines become line breaks), or null.
XmString MakeString(X11Funcs* x, const char* text) {
  return x->XmStringCreateLtoR(const_cast<char*>(text), kDefaultTag);
}

void FreeString(X11Funcs* x, XmString string) {
  if (string != nullptr) x->XmStringFree(string);
}

// The status window, created with its title; null when it can't be made.
Widget CreateStatusWindow(X11Funcs* x) {
  XmString title = MakeString(x, GetTitle());
  if (title == nullptr) return nullptr;
  Arg args[8];
  SetArg(&args[0], "dialogTitle", reinterpret_cast<XtArgVal>(title));
  SetArg(&args[1], "mwmDecorations", kStatusDecorations);
  SetArg(&args[2], "mwmFunctions", kStatusFunctions);
  SetArg(&args[3], "width", 400);
  SetArg(&args[4], "height", 100);
  SetArg(&args[5], "resizePolicy", XmRESIZE_GROW);
  SetArg(&args[6], "messageAlignment", XmALIGNMENT_CENTER);
  SetArg(&args[7], "dialogStyle", XmDIALOG_MODELESS);
  Widget window = x->XmCreateTemplateDialog(GetAppShell(), const_cast<char*>("Status"), args, 8);
  if (window != nullptr) x->XtUnmanageChild(x->XmMessageBoxGetChild(window, XmDIALOG_SEPARATOR));
  x->XmStringFree(title);
  return window;
}

// A message box of kind with a single OK button; null when it can't be made.
Widget CreateMessageBox(X11Funcs* x, int kind, XmString title, XmString message, XmString label) {
  Arg args[7];
  SetArg(&args[0], "dialogTitle", reinterpret_cast<XtArgVal>(title));
  SetArg(&args[1], "messageString", reinterpret_cast<XtArgVal>(message));
  SetArg(&args[2], "defaultButtonType", XmDIALOG_OK_BUTTON);
  SetArg(&args[3], "dialogStyle", XmDIALOG_PRIMARY_APPLICATION_MODAL);
  SetArg(&args[4], "mwmDecorations", kBoxDecorations);
  SetArg(&args[5], "mwmFunctions", kBoxFunctions);
  SetArg(&args[6], "okLabelString", reinterpret_cast<XtArgVal>(label));
  Widget box = kind == kInformationBox
                   ? x->XmCreateInformationDialog(GetAppShell(), const_cast<char*>("Information"), args, 7)
                   : x->XmCreateErrorDialog(GetAppShell(), const_cast<char*>("Error"), args, 7);
  if (box != nullptr) {
    x->XtUnmanageChild(x->XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    x->XtUnmanageChild(x->XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON));
  }
  return box;
}

// The loaded toolkit with its lock taken; null when there is no toolkit, no
// event thread or no lock, or the server is gone (a call on a lost
// connection can block for good).
X11Funcs* AcquireToolkit() {
  X11Funcs* x = LoadX11(true);
  if (x == nullptr || !IsDispatching() || !LockToolkit()) return nullptr;
  if (IsX11ConnectionLost()) {
    UnlockToolkit();
    return nullptr;
  }
  return x;
}

// The modal wait: dispatches events on this thread, with the lock held,
// until pressing OK has unmanaged the box. It waits on the connection rather
// than inside XtAppNextEvent, which would block for good once the server is
// gone; a lost connection ends the wait. The poll's time limit lets timers
// that come due run.
void WaitWhileManaged(X11Funcs* x, Widget box) {
  pollfd connection = {ConnectionNumber(DisplayOfScreen(x->XtScreenOfObject(box))), POLLIN, 0};
  while (x->XtIsManaged(box) && !IsX11ConnectionLost()) {
    if (!DispatchPendingInput()) poll(&connection, 1, 100);
  }
}

}  // namespace

int PrintToStatusWindow(const char* format, va_list args) {
  std::lock_guard<std::mutex> guard(statusTextMutex);
  int count;
  char* text = ComposeText(&statusCachedmessage, format, args, &count);
  X11Funcs* x = AcquireToolkit();
  if (x == nullptr) {
    int written = WriteText(stdout, text);
    free(text);
    return written;
  }
  int result = 0;
  bool fallBack = false;
  if (statusdialog == nullptr) statusdialog = CreateStatusWindow(x);
  if (statusdialog == nullptr) {
    fallBack = true;
  } else if (!CutFinalNewline(text)) {
    statusCachedmessage = text;
  } else {
    XmString message = MakeString(x, text);
    if (message == nullptr) {
      fallBack = true;
    } else {
      x->XtVaSetValues(statusdialog, "messageString", reinterpret_cast<XtArgVal>(message),
                       static_cast<char*>(nullptr));
      CenterAndManageChild(statusdialog);
      x->XmStringFree(message);
      result = count;
      if (IsX11ConnectionLost()) {
        // The server went away during this call: the line still reaches the user.
        strcat(text, "\n");
        fallBack = true;
      }
    }
  }
  if (fallBack) result = WriteText(stdout, text);
  UnlockToolkit();
  if (statusCachedmessage != text) free(text);
  return result;
}

int PrintToMessageBox(int kind, const char* format, va_list args) {
  std::lock_guard<std::mutex> guard(boxTextMutex);
  int count;
  char* text = ComposeText(&boxCachedmessage, format, args, &count);
  X11Funcs* x = AcquireToolkit();
  if (x == nullptr) {
    int written = WriteText(stderr, text);
    free(text);
    return written;
  }
  std::string label = GetLocalizedMessage("ok");
  int result = count;
  bool fallBack = false;
  if (!CutFinalNewline(text)) {
    boxCachedmessage = text;
  } else {
    XmString titleString = nullptr;
    XmString messageString = nullptr;
    XmString labelString = nullptr;
    Widget box = nullptr;
    if ((titleString = MakeString(x, GetTitle())) == nullptr ||
        (messageString = MakeString(x, text)) == nullptr ||
        (labelString = MakeString(x, label.c_str())) == nullptr ||
        (box = CreateMessageBox(x, kind, titleString, messageString, labelString)) == nullptr) {
      fallBack = true;
    } else {
      CenterAndManageChild(box);
      if (GetAppContext() == nullptr) {
        fallBack = true;
      } else {
        WaitWhileManaged(x, box);
        // The box went with the server: what it said still reaches the user.
        fallBack = IsX11ConnectionLost();
      }
    }
    FreeString(x, titleString);
    FreeString(x, messageString);
    FreeString(x, labelString);
    if (box != nullptr && !IsX11ConnectionLost()) x->XtDestroyWidget(box);
  }
  if (fallBack) {
    // The text as it was given, final newline included.
    strcat(text, "\n");
    result = WriteText(stdout, text);
  }
  UnlockToolkit();
  if (boxCachedmessage != text) free(text);
  return result;
}

void CenterAndManageChild(Widget widget) {
  X11Funcs* x = AcquireToolkit();
  if (x == nullptr) return;
  Screen* screen = x->XtScreenOfObject(widget);
  Dimension screenWidth = static_cast<Dimension>(WidthOfScreen(screen));
  Dimension screenHeight = static_cast<Dimension>(HeightOfScreen(screen));
  if (x->XtIsManaged(widget)) {
    x->XRaiseWindow(GetX11Display(), x->XtWindowOfObject(widget));
  } else {
    x->XtManageChild(widget);
  }
  Dimension width = 0;
  Dimension height = 0;
  Arg args[2];
  SetArg(&args[0], "width", reinterpret_cast<XtArgVal>(&width));
  SetArg(&args[1], "height", reinterpret_cast<XtArgVal>(&height));
  x->XtGetValues(widget, args, 2);
  Position left = screenWidth > width ? static_cast<Position>((screenWidth - width) / 2) : 0;
  Position top = screenHeight > height ? static_cast<Position>((screenHeight - height) / 2) : 0;
  x->XtVaSetValues(widget, "x", static_cast<XtArgVal>(left), "y", static_cast<XtArgVal>(top),
                   static_cast<char*>(nullptr));
  UnlockToolkit();
}

void HideStatusWindow() {
  X11Funcs* x = AcquireToolkit();
  if (x == nullptr) {
    statusdialog = nullptr;
    return;
  }
  if (statusdialog != nullptr) {
    x->XtUnmanageChild(statusdialog);
    x->XtDestroyWidget(statusdialog);
  }
  statusdialog = nullptr;
  UnlockToolkit();
}

void ForgetStatusWindow() { statusdialog = nullptr; }
