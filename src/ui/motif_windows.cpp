// The Motif status window and modal message boxes of graphical mode. Every
// toolkit call goes through the function table of the loaded toolkit and is
// made with the toolkit lock held; whenever a window can't be made, the text
// goes to the console instead.
#include <cstdio>
#include <mutex>
#include <string>

#include "base/signals.h"
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

// No window-manager decorations or functions at all for the status window;
// for a message box everything but resize handles, minimise and maximise.
constexpr XtArgVal kStatusDecorations = 0;
constexpr XtArgVal kStatusFunctions = 0;
constexpr XtArgVal kBoxDecorations = 1 + 4 + 32 + 64;
constexpr XtArgVal kBoxFunctions = 1 + 2 + 8 + 16;

Widget statusdialog = nullptr;

// The text each output call holds back: a composed text that didn't end
// with a newline, put in front of the next one. The mutex keeps a text
// printed from the cleanup path on another thread from racing the main
// thread's.
struct PendingText {
  std::mutex mutex;
  std::string text;
};
PendingText statusText;
PendingText boxText;

// The pending text followed by the formatted text, whole; clears the
// pending text. *count receives the number of characters the format
// produced (none when the formatter rejects it).
std::string ComposeText(PendingText* pending, const char* format, va_list args, int* count) {
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text = std::move(pending->text);
  pending->text.clear();
  *count = n < 0 ? 0 : n;
  if (n > 0) {
    size_t at = text.size();
    text.resize(at + static_cast<size_t>(n) + 1);
    vsnprintf(&text[at], static_cast<size_t>(n) + 1, format, args);
    text.pop_back();
  }
  return text;
}

int WriteText(FILE* stream, const std::string& text) {
  return static_cast<int>(fwrite(text.data(), 1, text.size(), stream));
}

void SetArg(Arg* arg, const char* name, XtArgVal value) {
  arg->name = const_cast<char*>(name);
  arg->value = value;
}

// A compound string (newlines become line breaks), freed with its owner.
class CompoundString {
 public:
  CompoundString(X11Funcs* x, const char* text)
      : x_(x), string_(x->XmStringCreateLtoR(const_cast<char*>(text), kDefaultTag)) {}
  ~CompoundString() {
    if (string_ != nullptr) x_->XmStringFree(string_);
  }
  CompoundString(const CompoundString&) = delete;
  CompoundString& operator=(const CompoundString&) = delete;
  XmString get() const { return string_; }
  XtArgVal arg() const { return reinterpret_cast<XtArgVal>(string_); }

 private:
  X11Funcs* x_;
  XmString string_;
};

// The status window, created with its title; null when it can't be made.
Widget CreateStatusWindow(X11Funcs* x) {
  CompoundString title(x, GetTitle());
  if (title.get() == nullptr) return nullptr;
  Arg args[8];
  SetArg(&args[0], "dialogTitle", title.arg());
  SetArg(&args[1], "mwmDecorations", kStatusDecorations);
  SetArg(&args[2], "mwmFunctions", kStatusFunctions);
  SetArg(&args[3], "width", 400);
  SetArg(&args[4], "height", 100);
  SetArg(&args[5], "resizePolicy", XmRESIZE_GROW);
  SetArg(&args[6], "messageAlignment", XmALIGNMENT_CENTER);
  SetArg(&args[7], "dialogStyle", XmDIALOG_MODELESS);
  Widget window = x->XmCreateTemplateDialog(GetAppShell(), const_cast<char*>("Status"), args, 8);
  if (window != nullptr) x->XtUnmanageChild(x->XmMessageBoxGetChild(window, XmDIALOG_SEPARATOR));
  return window;
}

// Shows lines in the status window, in place of what it showed before.
bool ShowInStatusWindow(X11Funcs* x, const std::string& lines, int) {
  if (statusdialog == nullptr) statusdialog = CreateStatusWindow(x);
  if (statusdialog == nullptr) return false;
  CompoundString message(x, lines.c_str());
  if (message.get() == nullptr) return false;
  x->XtVaSetValues(statusdialog, "messageString", message.arg(), static_cast<char*>(nullptr));
  CenterAndManageChild(statusdialog);
  return true;
}

// The modal wait: dispatches events on this thread, with the lock held,
// until pressing OK has unmanaged the box. It waits on the connection rather
// than inside XtAppNextEvent, which would block for good once the server is
// gone, and wakes for signals too, which end the run at once; a lost
// connection ends the wait. The time limit lets timers that come due run.
void WaitWhileManaged(X11Funcs* x, Widget box) {
  int connection = ConnectionNumber(DisplayOfScreen(x->XtScreenOfObject(box)));
  while (x->XtIsManaged(box) && !IsX11ConnectionLost()) {
    if (!DispatchPendingInput()) WaitForReadable(connection, 100);
  }
}

// Shows lines in a modal box of kind with a single OK button, and returns
// once it was closed.
bool ShowInMessageBox(X11Funcs* x, const std::string& lines, int kind) {
  std::string label = GetLocalizedMessage("ok");
  CompoundString title(x, GetTitle());
  CompoundString message(x, lines.c_str());
  CompoundString ok(x, label.c_str());
  if (title.get() == nullptr || message.get() == nullptr || ok.get() == nullptr) return false;
  Arg args[7];
  SetArg(&args[0], "dialogTitle", title.arg());
  SetArg(&args[1], "messageString", message.arg());
  SetArg(&args[2], "defaultButtonType", XmDIALOG_OK_BUTTON);
  SetArg(&args[3], "dialogStyle", XmDIALOG_PRIMARY_APPLICATION_MODAL);
  SetArg(&args[4], "mwmDecorations", kBoxDecorations);
  SetArg(&args[5], "mwmFunctions", kBoxFunctions);
  SetArg(&args[6], "okLabelString", ok.arg());
  Widget box = kind == kInformationBox
                   ? x->XmCreateInformationDialog(GetAppShell(), const_cast<char*>("Information"), args, 7)
                   : x->XmCreateErrorDialog(GetAppShell(), const_cast<char*>("Error"), args, 7);
  if (box == nullptr) return false;
  x->XtUnmanageChild(x->XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
  x->XtUnmanageChild(x->XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON));
  CenterAndManageChild(box);
  bool shown = GetAppContext() != nullptr;
  if (shown) WaitWhileManaged(x, box);
  if (!IsX11ConnectionLost()) x->XtDestroyWidget(box);
  return shown;
}

// The loaded toolkit with its lock taken; null when there is no toolkit, no
// event thread or no lock, or the server is gone (a call on a lost
// connection can block for good). What is waiting on the connection is
// handled first, so that a server that went away since the event thread
// last looked is found out before a call that would wait for it.
X11Funcs* AcquireToolkit() {
  X11Funcs* x = LoadX11(true);
  if (x == nullptr || !IsDispatching() || !LockToolkit()) return nullptr;
  while (!IsX11ConnectionLost() && DispatchPendingInput()) {
  }
  if (IsX11ConnectionLost()) {
    UnlockToolkit();
    return nullptr;
  }
  return x;
}

// What both output calls do. The composed text goes to withoutToolkit when
// there is no toolkit, and is held back while it doesn't end with a newline;
// then show gets it without that newline. Text that show can't put in a
// window, or that went with a lost server, goes to standard output whole.
// A held-back text counts as written when countHeld is set.
int PrintToWindow(PendingText* pending, FILE* withoutToolkit, bool countHeld,
                  bool (*show)(X11Funcs*, const std::string&, int), int kind, const char* format,
                  va_list args) {
  std::lock_guard<std::mutex> guard(pending->mutex);
  int count;
  std::string text = ComposeText(pending, format, args, &count);
  X11Funcs* x = AcquireToolkit();
  if (x == nullptr) return WriteText(withoutToolkit, text);
  int result = count;
  if (text.empty() || text.back() != '\n') {
    pending->text = std::move(text);
    if (!countHeld) result = 0;
  } else if (!show(x, text.substr(0, text.size() - 1), kind) || IsX11ConnectionLost()) {
    result = WriteText(stdout, text);
  }
  UnlockToolkit();
  return result;
}

}  // namespace

int PrintToStatusWindow(const char* format, va_list args) {
  return PrintToWindow(&statusText, stdout, false, ShowInStatusWindow, 0, format, args);
}

int PrintToMessageBox(int kind, const char* format, va_list args) {
  return PrintToWindow(&boxText, stderr, true, ShowInMessageBox, kind, format, args);
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
