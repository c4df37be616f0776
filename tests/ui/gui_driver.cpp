// A test program that drives the graphical output calls step by step, for the
// end-to-end tests under a real X server. Each argument is one step:
//
//   graphical     SetPrintToConsole(false): the next output call loads the toolkit
//   load          LoadX11(true), reported as "@ load ok|null"
//   status TEXT   statusf("%s", TEXT); error TEXT: _fprintf(stderr, ...); info
//                 TEXT: _printf(...); each reported as "@ status|error|info N"
//                 once it returns
//   key KEY       ShowStatus(KEY); errkey KEY: ShowError(KEY), reported as "@ error"
//   console       reports "@ console 0|1" (GetPrintToConsole)
//   locale        reports "@ locale NAME TAG": the process locale and the locale tag
//   shown         reports "@ shown message HEX title HEX" (the status window), or
//                 "@ shown none"
//   watchbox      the next message box reports while it is up (exit 2 without a toolkit):
//                 "@ box NAME message HEX title HEX ok HEX buttons NAME,..."
//   race N        statusf from this and another thread, N texts each
//   hide          HideStatusWindow()
//   wait          reports "@ waiting" and reads a line from standard input
//   sh CMD        runs CMD with the shell, reported as "@ sh STATUS"
//
// Texts are reported in hex, line breaks as newlines; reports go to standard
// output, one line each, flushed at once.
#include <dlfcn.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/locale.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "ui/windows.h"
#include "ui/x11_motif.h"

namespace {

void Report(const std::string& line) {
  fprintf(stdout, "@ %s\n", line.c_str());
  fflush(stdout);
}

// Toolkit functions the launcher itself never calls, taken from the loaded
// Motif library.
template <typename Func>
Func Lookup(const char* name) {
  return reinterpret_cast<Func>(dlsym(RTLD_DEFAULT, name));
}

// The text of a compound-string resource of widget in hex; "none" when it
// has none.
std::string StringResource(Widget widget, const char* resource) {
  auto nextSegment = Lookup<Boolean (*)(XmStringContext, char**, XmStringTag*, XmStringDirection*, Boolean*)>(
      "XmStringGetNextSegment");
  XmString string = nullptr;
  Arg arg = {const_cast<char*>(resource), reinterpret_cast<XtArgVal>(&string)};
  Lookup<void (*)(Widget, ArgList, Cardinal)>("XtGetValues")(widget, &arg, 1);
  XmStringContext context;
  if (string == nullptr ||
      !Lookup<Boolean (*)(XmStringContext*, XmString)>("XmStringInitContext")(&context, string))
    return "none";
  std::string hex;
  char* segment;
  XmStringTag tag;
  XmStringDirection direction;
  Boolean separator;
  char digits[3];
  while (nextSegment(context, &segment, &tag, &direction, &separator)) {
    for (const char* p = segment; *p; ++p) {
      snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(*p));
      hex += digits;
    }
    if (separator) hex += "0a";
    free(segment);
    free(tag);
  }
  Lookup<void (*)(XmStringContext)>("XmStringFreeContext")(context);
  Lookup<void (*)(XmString)>("XmStringFree")(string);
  return hex;
}

// The managed widget of that name under the application shell, or null.
Widget FindShown(const char* name) {
  if (GetAppShell() == nullptr) return nullptr;
  Widget widget = Lookup<Widget (*)(Widget, const char*)>("XtNameToWidget")(GetAppShell(), name);
  return widget != nullptr && Lookup<Boolean (*)(Widget)>("XtIsManaged")(widget) ? widget : nullptr;
}

std::string Texts(Widget widget) {
  return " message " + StringResource(widget, "messageString") + " title " +
         StringResource(widget, "dialogTitle");
}

void ReportShown() {
  if (!IsDispatching() || !LockToolkit()) return Report("shown none");
  Widget status = FindShown("*Status");
  Report(status == nullptr ? "shown none" : "shown" + Texts(status));
  UnlockToolkit();
}

// Runs during the modal wait, on the main thread: describes the box that is up.
void DescribeBox(XtPointer, XtIntervalId*) {
  auto getChild = Lookup<Widget (*)(Widget, unsigned char)>("XmMessageBoxGetChild");
  auto isManaged = Lookup<Boolean (*)(Widget)>("XtIsManaged");
  for (const char* name : {"Error", "Information"}) {
    Widget box = FindShown((std::string("*") + name).c_str());
    if (box == nullptr) continue;
    std::string line =
        std::string("box ") + name + Texts(box) + " ok " + StringResource(box, "okLabelString") + " buttons ";
    const std::pair<int, const char*> buttons[] = {
        {XmDIALOG_OK_BUTTON, "ok,"}, {XmDIALOG_CANCEL_BUTTON, "cancel,"}, {XmDIALOG_HELP_BUTTON, "help,"}};
    for (const auto& button : buttons) {
      if (isManaged(getChild(box, button.first))) line += button.second;
    }
    return Report(line.substr(0, line.size() - 1));
  }
  Report("box none");
}

}  // namespace

int main(int argc, char** argv) {
  SetTitleKey("setup_title");
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
    } else if (step == "error") {
      Report("error " + std::to_string(_fprintf(stderr, "%s", next(&i).c_str())));
    } else if (step == "info") {
      Report("info " + std::to_string(_printf("%s", next(&i).c_str())));
    } else if (step == "key") {
      ShowStatus(next(&i).c_str());
    } else if (step == "errkey") {
      ShowError(next(&i).c_str());
      Report("error");
    } else if (step == "console") {
      Report(std::string("console ") + (GetPrintToConsole() ? "1" : "0"));
    } else if (step == "locale") {
      Report(std::string("locale ") + setlocale(LC_ALL, nullptr) + " " + GetLocale());
    } else if (step == "shown") {
      ReportShown();
    } else if (step == "watchbox") {
      if (!IsDispatching() || !LockToolkit()) return 2;
      Lookup<XtIntervalId (*)(XtAppContext, unsigned long, XtTimerCallbackProc, XtPointer)>(
          "XtAppAddTimeOut")(GetAppContext(), 300, DescribeBox, nullptr);
      UnlockToolkit();
    } else if (step == "race") {
      long count = std::stol(next(&i));
      std::thread other([count] {
        for (long n = 0; n < count; ++n) statusf("thread %ld\n", n);
      });
      for (long n = 0; n < count; ++n) {
        statusf("main %ld", n);
        statusf(" and more\n");
      }
      other.join();
      Report("race done");
    } else if (step == "hide") {
      HideStatusWindow();
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
