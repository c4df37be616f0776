// A test program that drives the graphical output calls step by step, for the
// end-to-end tests under a real X server. Each argument is one step:
//
//   graphical        SetPrintToConsole(false): the next output call loads the toolkit
//   load             LoadX11(true), reported as "@ load ok|null"
//   status TEXT      statusf("%s", TEXT), reported as "@ status N"
//   key KEY [ARG]    ShowStatus(KEY, ARG)
//   error TEXT       _fprintf(stderr, "%s", TEXT), reported as "@ error N" once it returns
//   errkey KEY [ARG] ShowError(KEY, ARG), reported as "@ error" once it returns
//   info TEXT        _printf("%s", TEXT), reported as "@ info N"
//   hide             HideStatusWindow()
//   console          reports "@ console 0|1" (GetPrintToConsole)
//   await-console    waits (up to 10 s) for output to switch to the console, then as console
//   locale           reports "@ locale NAME TAG": the process locale and the locale tag
//   libxm            reports "@ libxm loaded|unloaded" (is a Motif library in the process)
//   shown            reports "@ shown HEX|none": the status window's text and title
//   watchbox         the next message box reports "@ box ..." about itself while it is up
//   race N           statusf from this and another thread, N texts each
//   wait             reports "@ waiting" and reads a line from standard input
//   sh CMD           runs CMD with the shell
//
// Reports go to standard output, one line each, flushed at once.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/locale.h"
#include "ui/output.h"
#include "ui/windows.h"
#include "ui/x11_motif.h"

namespace {

void Report(const std::string& line) {
  fprintf(stdout, "@ %s\n", line.c_str());
  fflush(stdout);
}

std::string Hex(const char* bytes) {
  std::string hex;
  char digits[3];
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p; ++p) {
    snprintf(digits, sizeof digits, "%02x", *p);
    hex += digits;
  }
  return hex;
}

// Toolkit functions the launcher itself never calls, taken from the loaded
// Motif library.
template <typename Func>
Func Lookup(const char* name) {
  return reinterpret_cast<Func>(dlsym(RTLD_DEFAULT, name));
}

// The text of a compound-string resource of widget, its line breaks as
// newlines, in hex; "none" when it has none.
std::string StringResource(Widget widget, const char* resource) {
  auto getValues = Lookup<void (*)(Widget, ArgList, Cardinal)>("XtGetValues");
  auto initContext = Lookup<Boolean (*)(XmStringContext*, XmString)>("XmStringInitContext");
  auto nextSegment = Lookup<Boolean (*)(XmStringContext, char**, XmStringTag*, XmStringDirection*, Boolean*)>(
      "XmStringGetNextSegment");
  auto freeContext = Lookup<void (*)(XmStringContext)>("XmStringFreeContext");
  auto freeString = Lookup<void (*)(XmString)>("XmStringFree");
  XmString string = nullptr;
  Arg arg;
  arg.name = const_cast<char*>(resource);
  arg.value = reinterpret_cast<XtArgVal>(&string);
  getValues(widget, &arg, 1);
  XmStringContext context;
  if (string == nullptr || !initContext(&context, string)) return "none";
  std::string text;
  char* segment;
  XmStringTag tag;
  XmStringDirection direction;
  Boolean separator;
  while (nextSegment(context, &segment, &tag, &direction, &separator)) {
    text += segment;
    if (separator) text += "\n";
    free(segment);
    free(tag);
  }
  freeContext(context);
  freeString(string);
  return Hex(text.c_str());
}

Widget FindWidget(const char* name) {
  auto nameToWidget = Lookup<Widget (*)(Widget, const char*)>("XtNameToWidget");
  return GetAppShell() != nullptr ? nameToWidget(GetAppShell(), name) : nullptr;
}

void ReportShown() {
  // A lost connection can't be asked any more.
  if (!IsDispatching() || IsX11ConnectionLost() || !LockToolkit()) return Report("shown none");
  Widget status = FindWidget("*Status");
  auto isManaged = Lookup<Boolean (*)(Widget)>("XtIsManaged");
  if (status == nullptr || !isManaged(status)) {
    Report("shown none");
  } else {
    Report("shown " + StringResource(status, "messageString") + " title " +
           StringResource(status, "dialogTitle"));
  }
  UnlockToolkit();
}

// Runs during the modal wait, on the main thread: describes the box that is up.
void DescribeBox(XtPointer, XtIntervalId*) {
  auto getChild = Lookup<Widget (*)(Widget, unsigned char)>("XmMessageBoxGetChild");
  auto isManaged = Lookup<Boolean (*)(Widget)>("XtIsManaged");
  const char* names[] = {"Error", "Information"};
  for (const char* name : names) {
    Widget box = FindWidget((std::string("*") + name).c_str());
    if (box == nullptr || !isManaged(box)) continue;
    std::string line = std::string("box ") + name + " title " + StringResource(box, "dialogTitle") +
                       " message " + StringResource(box, "messageString") + " ok " +
                       StringResource(box, "okLabelString") + " buttons";
    const std::pair<int, const char*> buttons[] = {
        {XmDIALOG_OK_BUTTON, "ok"}, {XmDIALOG_CANCEL_BUTTON, "cancel"}, {XmDIALOG_HELP_BUTTON, "help"}};
    for (const auto& button : buttons) {
      if (isManaged(getChild(box, button.first))) line += std::string(" ") + button.second;
    }
    // Where OK is, inside the box, to press it.
    Position x = 0, y = 0;
    Dimension width = 0, height = 0;
    Arg args[4];
    XtSetArg(args[0], const_cast<char*>("x"), &x);
    XtSetArg(args[1], const_cast<char*>("y"), &y);
    XtSetArg(args[2], const_cast<char*>("width"), &width);
    XtSetArg(args[3], const_cast<char*>("height"), &height);
    Lookup<void (*)(Widget, ArgList, Cardinal)>("XtGetValues")(getChild(box, XmDIALOG_OK_BUTTON), args, 4);
    return Report(line + " at " + std::to_string(x + width / 2) + " " + std::to_string(y + height / 2));
  }
  Report("box none");
}

void WatchNextBox() {
  auto addTimeOut = Lookup<XtIntervalId (*)(XtAppContext, unsigned long, XtTimerCallbackProc, XtPointer)>(
      "XtAppAddTimeOut");
  if (!IsDispatching() || !LockToolkit()) return Report("watch failed");
  addTimeOut(GetAppContext(), 300, DescribeBox, nullptr);
  UnlockToolkit();
}

void* Race(void* count) {
  for (long i = 0; i < *static_cast<long*>(count); ++i) statusf("thread %ld\n", i);
  return nullptr;
}

void RaceMainAndThread(long count) {
  pthread_t other;
  pthread_create(&other, nullptr, Race, &count);
  for (long i = 0; i < count; ++i) {
    statusf("main %ld", i);
    statusf(" and more\n");
  }
  pthread_join(other, nullptr);
  Report("race done");
}

bool IsMotifLoaded() {
  const char* names[] = {"libXm.so.4", "libXm.so.3", "libXm.so"};
  for (const char* name : names) {
    if (void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
      dlclose(handle);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> steps(argv + 1, argv + argc);
  auto next = [&](size_t* i) { return *i + 1 < steps.size() ? steps[++*i] : std::string(); };
  for (size_t i = 0; i < steps.size(); ++i) {
    const std::string& step = steps[i];
    if (step == "graphical") {
      SetPrintToConsole(false);
    } else if (step == "load") {
      Report(LoadX11(true) != nullptr ? "load ok" : "load null");
    } else if (step == "status") {
      Report("status " + std::to_string(statusf("%s", next(&i).c_str())));
    } else if (step == "key") {
      std::string key = next(&i);
      ShowStatus(key.c_str(), next(&i).c_str());
    } else if (step == "error") {
      Report("error " + std::to_string(_fprintf(stderr, "%s", next(&i).c_str())));
    } else if (step == "errkey") {
      std::string key = next(&i);
      ShowError(key.c_str(), next(&i).c_str());
      Report("error");
    } else if (step == "info") {
      Report("info " + std::to_string(_printf("%s", next(&i).c_str())));
    } else if (step == "hide") {
      HideStatusWindow();
    } else if (step == "console") {
      Report(std::string("console ") + (GetPrintToConsole() ? "1" : "0"));
    } else if (step == "await-console") {
      for (int tries = 0; tries < 1000 && !GetPrintToConsole(); ++tries) usleep(10000);
      Report(std::string("console ") + (GetPrintToConsole() ? "1" : "0"));
    } else if (step == "locale") {
      const char* tag = GetLocale();
      Report(std::string("locale ") + setlocale(LC_ALL, nullptr) + " " + tag);
    } else if (step == "libxm") {
      Report(IsMotifLoaded() ? "libxm loaded" : "libxm unloaded");
    } else if (step == "shown") {
      ReportShown();
    } else if (step == "watchbox") {
      WatchNextBox();
    } else if (step == "race") {
      RaceMainAndThread(std::stol(next(&i)));
    } else if (step == "wait") {
      Report("waiting");
      char line[256];
      if (fgets(line, sizeof line, stdin) == nullptr) return 2;
    } else if (step == "sh") {
      Report("sh " + std::to_string(system(next(&i).c_str())));
    } else {
      fprintf(stderr, "gui_driver: unknown step '%s'\n", step.c_str());
      return 2;
    }
  }
  return 0;
}
